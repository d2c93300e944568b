// The bundled search service as the program runs it: a crash brings it back,
// an exit of its own or the program's stop does not.
#include "app/CatalogService.h"
#include "tests/support/TestApp.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class Catalog : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        ASSERT_TRUE(dir.isValid());
        qunsetenv("KOLVADECK_SEARCH_HOST");
        qputenv("KOLVADECK_CATALOG_DB", dir.filePath("catalog.sqlite").toUtf8());
        qputenv("KOLVADECK_MUSIC_DIRS", dir.path().toUtf8());
        qputenv("KOLVADECK_VIDEO_DIRS", dir.path().toUtf8());
    }
    void TearDown() override {
        qunsetenv("KOLVADECK_CATALOG_DB");
        qunsetenv("KOLVADECK_MUSIC_DIRS");
        qunsetenv("KOLVADECK_VIDEO_DIRS");
    }
    static QString Program() { return QStringLiteral(KV_BINARY_DIR "/app/kolvadeck-catalog"); }
    QTemporaryDir dir;
};

TEST_F(Catalog, AKilledServiceIsStartedAgainAndAStoppedOneIsNot) {
    CatalogService service(Program(), {"--port", "0"});
    ASSERT_TRUE(service.StartIfDefault());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.ProcessId() > 0; }, 10000));
    const qint64 first = service.ProcessId();
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return service.ProcessId() > 0 && service.ProcessId() != first; }, 10000))
        << "the killed service was not started again";

    service.Stop();
    EXPECT_EQ(service.ProcessId(), 0);
    QTest::qWait(CatalogService::kFirstRestartDelayMs + 500);
    EXPECT_EQ(service.ProcessId(), 0);
}

TEST_F(Catalog, AServiceThatCannotListenIsNotStartedAgain) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    CatalogService service(Program(), {"--port", QString::number(taken.serverPort())});
    ASSERT_TRUE(service.StartIfDefault());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.ProcessId() == 0; }, 10000));
    QTest::qWait(CatalogService::kFirstRestartDelayMs + 500);
    EXPECT_EQ(service.ProcessId(), 0);
}

} // namespace
