#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

// One QApplication for the whole test program: widgets and queued change
// notices need it.
namespace {
class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ensureTestApp(); }
};

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);
} // namespace
