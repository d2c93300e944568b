#include "convert/ToolRunner.h"

#include "convert/ChildProcess.h"
#include "convert/CommandLine.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QString>

#include <cstring>

namespace {
constexpr std::chrono::milliseconds kWaitSlice{50};
// How long a cancelled tool may take to finish its files before it is killed.
constexpr std::chrono::milliseconds kEndGrace{3000};

void ReportLaunchFailure(ToolState& state, int error) {
    dialogs::ShowMessage(QString::fromLocal8Bit(std::strerror(error)),
                         QApplication::activeWindow());
    if (state.OnLaunchFailure)
        state.OnLaunchFailure();
}

// Gives the outer run's process back to ToolProcess when a run is over.
class ToolProcessScope {
public:
    ToolProcessScope(ToolState& state, pid_t pid)
        : state_(state)
        , outer_(state.ToolProcess) {
        state_.ToolProcess = pid;
    }
    ~ToolProcessScope() { state_.ToolProcess = outer_; }
    ToolProcessScope(const ToolProcessScope&) = delete;
    ToolProcessScope& operator=(const ToolProcessScope&) = delete;

private:
    ToolState& state_;
    pid_t outer_;
};
} // namespace

ToolOutcome RunTool(ToolState& state, const std::string& program, const std::string& parameters,
                    CancelAction onCancel) {
    ChildProcess child;
    if (const int error = ChildProcess::Start(program, SplitCommandLine(parameters), child)) {
        ReportLaunchFailure(state, error);
        return ToolOutcome::NotStarted;
    }
    ToolProcessScope scope(state, child.Pid());
    if (state.OnStarted)
        state.OnStarted(child.Pid());
    bool ended = false;
    for (;;) {
        if ((ended = child.WaitFor(kWaitSlice)))
            break;
        if (state.CancelRequested)
            break;
        shell::ProcessMessages();
    }
    if (!ended && onCancel == CancelAction::EndTool)
        child.End(kEndGrace);
    child.Release();
    return ended ? ToolOutcome::Ended : ToolOutcome::Cancelled;
}
