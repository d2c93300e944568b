#pragma once

#include "convert/ChildProcess.h"
#include "convert/ToolState.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <string>
#include <vector>

class QSocketNotifier;

// One run of an external tool, watched from the window's event loop: Start
// returns at once and `finished` is emitted once the tool's process has ended
// and been reaped. The tool starts with its argument list, without a shell or
// terminal, standard input from /dev/null, in its own process group, in the
// program's current folder.
// A tool that cannot be started: Start returns false and the system's own
// words open in a message box; once it is closed, the state's OnLaunchFailure
// runs and `finished` follows, so that a caller's next step comes after the
// user read why. A ToolRun may be started again once it has finished. Main
// thread only.
class ToolRun : public QObject {
    Q_OBJECT
public:
    // How long an ended tool may take to finish its files before it is killed.
    static constexpr std::chrono::milliseconds kEndGrace{3000};

    explicit ToolRun(ToolState& state, QObject* parent = nullptr);
    // A tool still running is ended (bounded by kEndGrace): shutting down.
    ~ToolRun() override;

    // False when the tool could not be started (being reported, see above).
    bool start(const std::string& program, const std::vector<std::string>& arguments);
    // The same with the arguments in one parameter string, split as
    // SplitCommandLine does (the broadcast's converter line).
    bool start(const std::string& program, const std::string& parameters);
    bool running() const { return child_.started(); }
    pid_t pid() const { return child_.pid(); }

    // Asks the tool's whole process group to end (SIGTERM, SIGCONT) and kills
    // what is left of it kEndGrace later, or as soon as the tool has ended.
    // `finished` follows. Does nothing when no tool runs.
    void end();

signals:
    void finished();

private:
    void checkEnded();

    ToolState& state_;
    ChildProcess child_;
    QSocketNotifier* notifier_ = nullptr; // on the pidfd, while the tool runs
    QTimer poll_;                         // watches the process where there is no pidfd
    QTimer killTimer_;                    // the bound of End
    bool ending_ = false;
};
