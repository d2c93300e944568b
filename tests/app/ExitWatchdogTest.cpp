#include "app/ExitWatchdog.h"

#include <chrono>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

// A teardown that hangs for ever still ends the process, with the status the
// event loop returned; one that finishes ends the watch at once.
TEST(ExitWatchdog, AHungTeardownStillEndsTheProcessWithItsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the suite's process has threads
    EXPECT_EXIT(
        {
            ExitWatchdog watchdog;
            watchdog.arm(100ms, 3);
            ::sleep(20); // a hang, but one that ends the test if the watch never fires
            ::_exit(0);
        },
        ::testing::ExitedWithCode(3), "");

    const auto start = std::chrono::steady_clock::now();
    {
        ExitWatchdog watchdog;
        watchdog.arm(10s, 3);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "a finished teardown waited";
}
