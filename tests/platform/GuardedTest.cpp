#include "platform/Guarded.h"

#include <QtGlobal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
Q_LOGGING_CATEGORY(lcTest, "kolvadeck.test", QtWarningMsg)

struct Logged {
    QtMsgType type;
    std::string category, text;
};
std::vector<Logged> gLogged;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    gLogged.push_back({type, context.category ? context.category : "", text.toStdString()});
}

// Collects what is logged while the test runs.
class GuardedTest : public ::testing::Test {
protected:
    void SetUp() override {
        gLogged.clear();
        previous_ = qInstallMessageHandler(collect);
    }
    void TearDown() override { qInstallMessageHandler(previous_); }
    QtMessageHandler previous_ = nullptr;
};
} // namespace

TEST_F(GuardedTest, AFailedStepIsLoggedUnderTheCallersCategoryAndEndsThatStepOnly) {
    bool after = false;
    EXPECT_FALSE(guarded(lcTest, "opening the mixer", [&] {
        throw std::runtime_error("no such device");
        after = true;
    }));
    EXPECT_FALSE(after);
    ASSERT_EQ(gLogged.size(), 1u);
    EXPECT_EQ(gLogged[0].type, QtWarningMsg);
    EXPECT_EQ(gLogged[0].category, "kolvadeck.test");
    EXPECT_EQ(gLogged[0].text, "opening the mixer failed: no such device");

    EXPECT_FALSE(guarded(lcTest, "odd step", [] { throw 42; }));
    ASSERT_EQ(gLogged.size(), 2u);
    EXPECT_EQ(gLogged[1].text, "odd step failed: an exception of unknown type");

    EXPECT_TRUE(guarded(lcTest, "fine step", [] {}));
    EXPECT_EQ(gLogged.size(), 2u);
}

// Routine failures logged at debug level stay quiet until the rules turn
// the category's debug lines on.
TEST_F(GuardedTest, DebugLevelFailuresShowOnlyWhenTurnedOn) {
    const auto fail = [] { throw std::runtime_error("deck not open"); };
    guarded(lcTest, "deck time", fail, QtDebugMsg);
    EXPECT_TRUE(gLogged.empty());
    QLoggingCategory::setFilterRules(QStringLiteral("kolvadeck.test.debug=true"));
    guarded(lcTest, "deck time", fail, QtDebugMsg);
    QLoggingCategory::setFilterRules(QString());
    ASSERT_EQ(gLogged.size(), 1u);
    EXPECT_EQ(gLogged[0].type, QtDebugMsg);
    EXPECT_EQ(gLogged[0].text, "deck time failed: deck not open");
}
