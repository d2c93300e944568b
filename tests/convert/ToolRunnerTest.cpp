#include "convert/ToolRunner.h"
#include "platform/Dialogs.h"
#include "tests/support/TestApp.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool ProcessGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

size_t OpenDescriptors() {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

class ToolRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        folder_ = fs::path(testing::TempDir()) / ("toolrunner_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        dialogs::SetHandler([this](const dialogs::Request& request) {
            messages_.push_back(request.text.toStdString());
            return dialogs::Answer{true, {}};
        });
        state_.OnStarted = [this](pid_t pid) { started_.push_back(pid); };
        state_.OnLaunchFailure = [this] { ++launchFailures_; };
    }
    void TearDown() override {
        dialogs::SetHandler({});
        fs::remove_all(folder_);
    }

    fs::path folder_;
    ToolState state_;
    std::vector<pid_t> started_;
    std::vector<std::string> messages_;
    int launchFailures_ = 0;
};
} // namespace

TEST_F(ToolRunnerTest, QuickToolIsWaitedForReapedAndReleased) {
    int pumped = 0;
    QTimer::singleShot(0, [&] { ++pumped; });
    const size_t descriptors = OpenDescriptors();
    EXPECT_EQ(RunTool(state_, "/bin/true", ""), ToolOutcome::Ended);
    ASSERT_EQ(started_.size(), 1u);
    // Ended within the first slice: nothing else ran meanwhile.
    EXPECT_EQ(pumped, 0);
    EXPECT_EQ(state_.ToolProcess, 0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // Reaped: no zombie left behind.
    EXPECT_EQ(waitpid(started_[0], nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(messages_.empty());
    QCoreApplication::processEvents();
}

TEST_F(ToolRunnerTest, ToolGetsSplitArgumentsNoTerminalNullInputAndOurFolder) {
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
    const ToolOutcome outcome =
        RunTool(state_, "/bin/sh",
                "-c \"" + script + " > report.txt\" sh \"a b\" \"\" c\\\"d \"e\\\\\\\"f\"");
    fs::current_path(cwd);
    ::close(leaked);
    EXPECT_EQ(outcome, ToolOutcome::Ended);
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(ReadAll(report), "[a b][][c\"d][e\\\"f]\n" + fs::canonical(folder_).string() +
                                   "\n/dev/null\n" + std::to_string(started_[0]) + "\nclosed\n");
}

TEST_F(ToolRunnerTest, CancelEndsTheWaitWithinASliceAndLeavesTheToolRunning) {
    Clock::time_point flagged;
    QTimer::singleShot(100, [&] {
        flagged = Clock::now();
        state_.CancelRequested = true;
    });
    EXPECT_EQ(RunTool(state_, "/bin/sleep", "30"), ToolOutcome::Cancelled);
    const auto late = Clock::now() - flagged;
    EXPECT_LT(late, std::chrono::milliseconds(500));
    RecordProperty(
        "wait_after_flag_us",
        static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(late).count()));
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(state_.ToolProcess, 0);
    // Left running unwatched, and reaped in the background once it ends.
    const pid_t tool = started_[0];
    EXPECT_EQ(::kill(tool, 0), 0);
    ::kill(tool, SIGKILL);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ProcessGone(tool); }, 5000));
}

TEST_F(ToolRunnerTest, CancelWithEndToolEndsTheWholeProcessGroup) {
    const fs::path pidFile = folder_ / "grandchild.pid";
    QTimer::singleShot(300, [&] { state_.CancelRequested = true; });
    // The tool starts a child of its own and waits for it.
    EXPECT_EQ(RunTool(state_, "/bin/sh",
                      "-c \"sleep 30 & echo $! > " + pidFile.string() + "; wait\"",
                      CancelAction::EndTool),
              ToolOutcome::Cancelled);
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_TRUE(ProcessGone(started_[0]));
    const pid_t grandchild = std::stoi(ReadAll(pidFile));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ProcessGone(grandchild); }, 5000));
}

TEST_F(ToolRunnerTest, NestedRunReplacesToolProcessAndEndsFirst) {
    std::vector<std::string> events;
    pid_t seenInNested = 0;
    QTimer::singleShot(60, [&] {
        const pid_t outer = state_.ToolProcess;
        events.push_back("nested starts");
        EXPECT_EQ(RunTool(state_, "/bin/sh", "-c \"sleep 0.2\""), ToolOutcome::Ended);
        seenInNested = started_.back();
        events.push_back("nested ended");
        EXPECT_EQ(state_.ToolProcess, outer);
        // The outer wait still watches its own process.
        QTimer::singleShot(0, [&] { state_.CancelRequested = true; });
    });
    EXPECT_EQ(RunTool(state_, "/bin/sleep", "30", CancelAction::EndTool), ToolOutcome::Cancelled);
    events.push_back("outer ended");
    EXPECT_EQ(events, (std::vector<std::string>{"nested starts", "nested ended", "outer ended"}));
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(seenInNested, started_[1]);
    EXPECT_EQ(state_.ToolProcess, 0);
}

TEST_F(ToolRunnerTest, OneFlagEndsEveryWaitThatSeesIt) {
    std::vector<ToolOutcome> outcomes;
    QTimer::singleShot(60, [&] {
        QTimer::singleShot(60, [&] { state_.CancelRequested = true; });
        outcomes.push_back(RunTool(state_, "/bin/sleep", "30", CancelAction::EndTool));
    });
    outcomes.push_back(RunTool(state_, "/bin/sleep", "30", CancelAction::EndTool));
    EXPECT_EQ(outcomes, (std::vector<ToolOutcome>{ToolOutcome::Cancelled, ToolOutcome::Cancelled}));
    for (pid_t pid : started_)
        EXPECT_TRUE(ProcessGone(pid));
}

TEST_F(ToolRunnerTest, ProgramThatCannotStartShowsTheSystemsWords) {
    EXPECT_EQ(RunTool(state_, (folder_ / "yt").string(), " -o \"x\""), ToolOutcome::NotStarted);
    EXPECT_EQ(messages_, std::vector<std::string>{"No such file or directory"});
    EXPECT_EQ(launchFailures_, 1);

    const fs::path notExecutable = folder_ / "mconv";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    messages_.clear();
    EXPECT_EQ(RunTool(state_, notExecutable.string(), ""), ToolOutcome::NotStarted);
    EXPECT_EQ(messages_, std::vector<std::string>{"Permission denied"});
    EXPECT_EQ(launchFailures_, 2);
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(state_.ToolProcess, 0);
}
