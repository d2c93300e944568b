#pragma once

#include <functional>
#include <sys/types.h>

// What the main window keeps for the external tools it runs, shared by every
// ToolRun (the conversion's and the broadcast's). MainWindow owns one ToolState
// for the whole run and hands it to each controller.
struct ToolState {
    // Called after a tool could not be started and the system's text was
    // shown: the conversion puts its controls back to idle here, whichever
    // caller's tool failed.
    std::function<void()> OnLaunchFailure;
    // Called right after a tool was started, with its process id (for
    // observers such as tests).
    std::function<void(pid_t)> OnStarted;
};
