// The bundled search service as the program runs it: a crash brings it back,
// an exit of its own or the program's stop does not.
#include "app/CatalogService.h"
#include "platform/Dialogs.h"
#include "search/MusicLibrary.h"
#include "tests/search/AwaitAnswer.h"
#include "tests/support/TestApp.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class Catalog : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(dir.isValid());
        qunsetenv("KOLVADECK_SEARCH_HOST");
        qputenv("KOLVADECK_CATALOG_DB", dir.filePath("catalog.sqlite").toUtf8());
        qputenv("KOLVADECK_MUSIC_DIRS", dir.path().toUtf8());
        qputenv("KOLVADECK_VIDEO_DIRS", dir.path().toUtf8());
        // The secret of the catalogues started here and of the program's checks.
        ASSERT_TRUE(QDir(dir.path()).mkpath("runtime"));
        QFile::setPermissions(dir.filePath("runtime"), QFileDevice::ReadOwner |
                                                           QFileDevice::WriteOwner |
                                                           QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.filePath("runtime").toUtf8());
    }
    void TearDown() override {
        qunsetenv("KOLVADECK_CATALOG_DB");
        qunsetenv("KOLVADECK_MUSIC_DIRS");
        qunsetenv("KOLVADECK_VIDEO_DIRS");
        if (runtime_.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", runtime_);
    }
    static QString program() { return QStringLiteral(KV_BINARY_DIR "/app/kolvadeck-catalog"); }
    QTemporaryDir dir;
    const QByteArray runtime_ = qgetenv("XDG_RUNTIME_DIR");
};

TEST_F(Catalog, AKilledServiceIsStartedAgainAndAStoppedOneIsNot) {
    CatalogService service(program(), {"--port", "0"});
    ASSERT_TRUE(service.startIfDefault());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.processId() > 0; }, 10000));
    const qint64 first = service.processId();
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return service.processId() > 0 && service.processId() != first; }, 10000))
        << "the killed service was not started again";

    service.stop();
    EXPECT_EQ(service.processId(), 0);
    QTest::qWait(CatalogService::kFirstRestartDelayMs + 500);
    EXPECT_EQ(service.processId(), 0);
}

TEST_F(Catalog, AServiceThatCannotListenIsNotStartedAgain) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    CatalogService service(program(), {"--port", QString::number(taken.serverPort())});
    ASSERT_TRUE(service.startIfDefault());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.processId() == 0; }, 10000));
    QTest::qWait(CatalogService::kFirstRestartDelayMs + 500);
    EXPECT_EQ(service.processId(), 0);
}

// A search that finds the catalogue gone starts it again and is sent again
// once it listens; a search that still cannot connect after its one retry,
// or that nothing can help, shows the connection error.
TEST_F(Catalog, ASearchThatFindsTheServiceGoneStartsItAndRetriesOnce) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    CatalogService service(program(), {"--port", QString::number(port)});
    ASSERT_TRUE(service.startIfDefault());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.processId() > 0; }, 10000));
    ::kill(pid_t(service.processId()), SIGTERM); // an exit of its own: not started again
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.processId() == 0; }, 10000));

    qputenv("KOLVADECK_SEARCH_HOST", "127.0.0.1:" + QByteArray::number(port));
    ASSERT_TRUE(QDir(dir.path()).mkpath("data/queries"));
    QStringList errors;
    dialogs::setHandler([&](const dialogs::Request& r, const dialogs::Reply& reply) {
        errors << r.text;
        reply(dialogs::Answer{true, {}});
    });
    QWidget page;
    MusicLibrary library(&page, dir.filePath("data/").toStdString(), &page);
    int asked = 0;
    library.setReconnect([&](std::function<void()> retry) {
        ++asked;
        return service.revive(port, std::move(retry));
    });
    ASSERT_TRUE(awaitAnswer(library, [&] { library.runQuery("track.search", "anything"); }));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
    EXPECT_GT(service.processId(), 0) << "started again";

    service.stop(); // the program's stop is final: nothing to bring back
    ASSERT_TRUE(awaitAnswer(library, [&] { library.runQuery("track.search", "again"); }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(errors, QStringList{kNoConnectionError});

    // A reconnect that claims success but leaves the port closed: one retry only.
    errors.clear();
    library.setReconnect([&](std::function<void()> retry) {
        ++asked;
        QTimer::singleShot(0, retry);
        return true;
    });
    ASSERT_TRUE(awaitAnswer(library, [&] { library.runQuery("track.search", "once"); }));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(errors.size(), 1);
    dialogs::setHandler({});
    qunsetenv("KOLVADECK_SEARCH_HOST");
}

} // namespace
