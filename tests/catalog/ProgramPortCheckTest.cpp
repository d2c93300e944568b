// The catalogue's port as the program checks it (app/CatalogService) before
// its searches go there: the user's own catalogue, started by the program,
// answers the challenge; a stranger on the port does not, whatever it heard.
#include "Impostor.h"
#include "app/CatalogService.h"
#include "catalog/IdentityChallenge.h"
#include "tests/support/TestApp.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

namespace {

using Port = CatalogService::Port;

class ProgramPortCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(dir_.isValid()); // 0700: the runtime folder of the test's catalogues
        qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());
        qunsetenv("KOLVADECK_SEARCH_HOST"); // the program starts its catalogue
    }
    void TearDown() override {
        if (runtime_.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", runtime_);
    }

    // A catalogue of an empty collection on the port, as the program runs it.
    std::unique_ptr<CatalogService> Catalogue(quint16 port) {
        return std::make_unique<CatalogService>(
            QStringLiteral(KV_BINARY_DIR "/app/kolvadeck-catalog"),
            QStringList{"--no-default-folders", "--no-scan", "--database",
                        dir_.filePath("data/catalog.sqlite"), "--port", QString::number(port)});
    }
    static quint16 freePort() {
        QTcpServer probe;
        EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
        return probe.serverPort();
    }
    // The program's check of the port, awaited.
    static Port Holder(CatalogService& service, quint16 port) {
        std::optional<Port> found;
        service.findPortHolder(port, [&](Port holder) { found = holder; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return found.has_value(); }, 10000));
        return found.value_or(Port::Unknown);
    }

    QTemporaryDir dir_;
    const QByteArray runtime_ = qgetenv("XDG_RUNTIME_DIR");
};

// A stranger (another user when the tests run as root) on the wildcard
// address of IPv4 or IPv6, which gets the connections to 127.0.0.1, replays
// what the user's catalogue said: the catalogue started beside it reports the
// port held by another, the program's own check agrees, and the stranger
// hears no search, only challenges.
TEST_F(ProgramPortCheck, OnlyTheUsersOwnCatalogueIsTakenForIt) {
    const quint16 port = freePort();
    auto own = Catalogue(port);
    ASSERT_TRUE(own->startIfDefault());
    Port holder = Port::Unknown;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (holder = Holder(*own, port)) != Port::Unknown; }, 10000));
    EXPECT_EQ(holder, Port::OwnService);
    const std::string told =
        identity_challenge::get("127.0.0.1", port,
                                identity_challenge::identityTarget(std::string(64, '7')))
            .body;
    own->stop();
    EXPECT_EQ(Holder(*own, port), Port::Unknown); // nothing listens now

    for (const std::string address : {"0.0.0.0", "::"}) {
        Impostor impostor;
        ASSERT_TRUE(impostor.replaying(address, told)) << address;
        auto service = Catalogue(static_cast<quint16>(impostor.port()));
        ASSERT_TRUE(service->startIfDefault());
        ASSERT_TRUE(QTest::qWaitFor([&] { return service->portHolder() != Port::Unknown; }, 10000));
        EXPECT_EQ(service->portHolder(), Port::HeldByOther) << address;
        EXPECT_EQ(Holder(*service, static_cast<quint16>(impostor.port())), Port::HeldByOther)
            << address;
        for (const std::string& request : impostor.requests())
            EXPECT_TRUE(request.starts_with("GET /api/identity?nonce=")) << request;
    }
}

} // namespace
