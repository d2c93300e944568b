#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

class QWidget;

// What the main window keeps for the external tools it runs, shared by every
// caller of RunTool (the conversion and the broadcast). TForm1 owns one
// ToolState for the whole run and hands a pointer to each controller.
struct ToolState {
    // Set by the conversion's "Cancel?"; every waiting RunTool that sees it
    // stops waiting. The conversion clears it before each conversion.
    bool CancelRequested = false;
    // The process the innermost running RunTool waits for; 0 when none. A
    // nested run replaces it and gives the outer run's process back when done.
    pid_t ToolProcess = 0;
    // Called after a tool could not be started and the system's text was
    // shown: the conversion puts its controls back to idle here.
    std::function<void()> OnLaunchFailure;
    // Called right after a tool was started, with its process id, before the
    // wait begins (for observers such as tests).
    std::function<void(pid_t)> OnStarted;
};

// What became of a RunTool call.
enum class ToolOutcome { Ended, Cancelled, NotStarted };

// What a run does with its tool when CancelRequested stops the wait.
enum class CancelAction {
    LeaveRunning, // the tool goes on unwatched until it ends by itself
    EndTool,      // the tool's process group is asked to end, then killed
};

// Starts `program` (a full path) with `parameters` split as a Windows command
// line (see SplitCommandLine), with no terminal and no window, standard input
// from /dev/null, in the program's current folder. Waits in 50 ms slices and
// lets the window's pending events run between slices, so that timers and
// clicks (a "Cancel?" among them, or a nested RunTool) run meanwhile; stops when
// the tool has ended or CancelRequested is set. A tool that cannot be started:
// the system's own words for the error in a plain message box, then
// state.OnLaunchFailure. Main thread only.
ToolOutcome RunTool(ToolState& state, const std::string& program, const std::string& parameters,
                    CancelAction onCancel = CancelAction::LeaveRunning);
