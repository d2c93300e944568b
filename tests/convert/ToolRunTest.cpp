#include "convert/ToolRun.h"
#include "LoopWatch.h"
#include "platform/Dialogs.h"
#include "tests/support/TestApp.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Gone, or a zombie waiting for a reaper that is not ours (an orphaned child
// of the tool waits for the system's init).
bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && line.compare(close + 2, 1, "Z") == 0;
}

size_t openDescriptors() {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

class ToolRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        folder_ = fs::path(testing::TempDir()) / ("toolrun_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            messages_.push_back(request.text.toStdString());
            replies_.push_back(reply); // the test closes the box
        });
        state_.OnStarted = [this](pid_t pid) { started_.push_back(pid); };
        state_.OnLaunchFailure = [this] { ++launchFailures_; };
    }
    void TearDown() override {
        dialogs::setHandler({});
        fs::remove_all(folder_);
    }

    // Starts `parameters` for /bin/sh and returns once the shell has written
    // its pid file (so that its children exist).
    pid_t startShell(ToolRun& run, const std::string& script, const fs::path& ready) {
        EXPECT_TRUE(run.start("/bin/sh", "-c \"" + script + "\""));
        EXPECT_TRUE(QTest::qWaitFor([&] { return readAll(ready).ends_with('\n'); }, 5000));
        return std::stoi(readAll(ready));
    }

    fs::path folder_;
    ToolState state_;
    std::vector<dialogs::Reply> replies_;
    std::vector<pid_t> started_;
    std::vector<std::string> messages_;
    int launchFailures_ = 0;
};
} // namespace

TEST_F(ToolRunTest, EndedToolIsReportedReapedAndReleasedAndCanRunAgain) {
    const size_t descriptors = openDescriptors();
    ToolRun run(state_);
    QSignalSpy finished(&run, &ToolRun::finished);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(run.start("/bin/true", ""));
        EXPECT_EQ(finished.count(), i); // Start returns at once
        ASSERT_TRUE(finished.wait(5000));
        EXPECT_FALSE(run.running());
        // Reaped: no zombie left behind.
        EXPECT_EQ(waitpid(started_.back(), nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
    EXPECT_EQ(started_.size(), 2u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ToolRunTest, ToolGetsSplitArgumentsNoTerminalNullInputAndOurFolder) {
    const fs::path report = folder_ / "report.txt";
    // A descriptor of ours without close-on-exec must not reach the tool.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    const std::string script =
        "{ for a; do printf '[%s]' \\\"$a\\\"; done; echo; pwd; readlink /proc/$$/fd/0; "
        "cut -d' ' -f6 /proc/$$/stat; test -e /proc/$$/fd/" +
        std::to_string(leaked) + " && echo leaked || echo closed; }";
    const fs::path cwd = fs::current_path();
    fs::current_path(folder_);
    ToolRun run(state_);
    QSignalSpy finished(&run, &ToolRun::finished);
    ASSERT_TRUE(run.start("/bin/sh", "-c \"" + script +
                                         " > report.txt\" sh \"a b\" \"\" c\\\"d \"e\\\\\\\"f\""));
    fs::current_path(cwd);
    ::close(leaked);
    ASSERT_TRUE(finished.wait(5000));
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(readAll(report), "[a b][][c\"d][e\\\"f]\n" + fs::canonical(folder_).string() +
                                   "\n/dev/null\n" + std::to_string(started_[0]) + "\nclosed\n");
}

// The loop keeps turning while a tool runs and while an ended tool is given
// its grace; End reaches the tool's children too.
TEST_F(ToolRunTest, EndTakesTheWholeGroupWithoutHoldingTheEventLoop) {
    const fs::path ready = folder_ / "child.pid";
    ToolRun run(state_);
    QSignalSpy finished(&run, &ToolRun::finished);
    LoopWatch watch;
    const pid_t child = startShell(run, "sleep 30 & echo $! > " + ready.string() + "; wait", ready);
    QTest::qWait(200);
    run.end();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(processGone(started_[0]));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(child); }, 5000));

    // A tool that ignores SIGTERM (its child too) is killed after the grace.
    fs::remove(ready);
    QElapsedTimer since;
    const pid_t stubborn =
        startShell(run, "trap '' TERM; sleep 30 & echo $! > " + ready.string() + "; wait", ready);
    since.start();
    run.end();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_GE(since.elapsed(), ToolRun::kEndGrace.count() - 50);
    EXPECT_TRUE(processGone(started_[1]));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(stubborn); }, 5000));
    // Loose: only a held loop (a wait for the tool) could reach a second.
    EXPECT_LT(watch.longestGapMs(), 1000);
    EXPECT_GT(watch.ticks(), 100);
}

TEST_F(ToolRunTest, DestroyingARunEndsItsTool) {
    const fs::path ready = folder_ / "child.pid";
    auto run = std::make_unique<ToolRun>(state_);
    const pid_t child =
        startShell(*run, "sleep 30 & echo $! > " + ready.string() + "; wait", ready);
    run.reset();
    EXPECT_TRUE(processGone(started_[0]));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(child); }, 5000));
}

TEST_F(ToolRunTest, ProgramThatCannotStartShowsTheSystemsWords) {
    ToolRun run(state_);
    QSignalSpy finished(&run, &ToolRun::finished);
    EXPECT_FALSE(run.start((folder_ / "yt").string(), " -o \"x\""));
    EXPECT_EQ(messages_, std::vector<std::string>{"No such file or directory"});
    // What follows the failure waits until the user has closed the box.
    EXPECT_EQ(launchFailures_, 0);
    EXPECT_TRUE(finished.isEmpty());
    replies_.back()(dialogs::Answer{true, {}});
    EXPECT_EQ(launchFailures_, 1);
    EXPECT_EQ(finished.count(), 1);

    const fs::path notExecutable = folder_ / "mconv";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    messages_.clear();
    EXPECT_FALSE(run.start(notExecutable.string(), ""));
    EXPECT_EQ(messages_, std::vector<std::string>{"Permission denied"});
    replies_.back()(dialogs::Answer{true, {}});
    EXPECT_EQ(launchFailures_, 2);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_TRUE(started_.empty());
    EXPECT_FALSE(run.running());
}

namespace {
// A process released while it runs is reaped, without a thread or a wait,
// by the next child's start once it has ended.
TEST(ChildProcessTest, AReleasedRunningProcessIsReapedAtTheNextStart) {
    ChildProcess running;
    ASSERT_EQ(ChildProcess::start("/bin/sleep", {"30"}, running), 0);
    const pid_t pid = running.pid();
    running.release();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0); // a zombie
    ChildProcess next;
    ASSERT_EQ(ChildProcess::start("/bin/true", {}, next), 0);
    // Reaped already: no longer a child of ours.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    next.end(std::chrono::seconds(5));
}
} // namespace
