// The catalogue's database file is damaged or held by another process: the
// real kolvadeck-catalog starts (rebuilding a damaged file from the folders)
// or exits with a clear message, and never hangs.
#include "tests/catalog/CatalogProcess.h"
#include "tests/catalog/Collection.h"
#include "tests/catalog/RawHttp.h"
#include "tests/faults/GarbageBytes.h"

#include <QProcess>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void overwrite(const fs::path& file, std::size_t offset, const std::string& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An sqlite3 shell that holds the database with the given statements until
// it is destroyed; holding() says the statements ran.
class SqliteShell {
public:
    SqliteShell(const fs::path& database, const std::string& statements) {
        shell_.start("sqlite3", {QString::fromStdString(database.string())});
        shell_.waitForStarted(10000);
        shell_.write((statements + "\nSELECT 'holding';\n").c_str());
        while (!shell_.readAllStandardOutput().contains("holding") &&
               shell_.waitForReadyRead(10000))
            ;
        holding_ = shell_.state() == QProcess::Running;
    }
    ~SqliteShell() {
        shell_.closeWriteChannel();
        if (!shell_.waitForFinished(5000))
            shell_.kill();
        shell_.waitForFinished(5000);
    }
    bool holding() const { return holding_; }

private:
    QProcess shell_;
    bool holding_ = false;
};

class CatalogueDatabaseFault : public ::testing::Test {
protected:
    void SetUp() override {
        collection_ =
            copyOf(sharedCollection(),
                   fs::path(testing::TempDir()) / ("catalog_faults_" + std::to_string(getpid())));
        database_ = collection_.root / "catalog.sqlite";
    }
    void TearDown() override { fs::remove_all(collection_.root); }

    std::string scanOnly(int* code) {
        return CatalogProcess::scanOnly(database_.string(), collection_.music.string(),
                                        collection_.videos.string(), code);
    }
    // Makes one track look changed, so that the next scan must write.
    void touchTrack() {
        const fs::path track = collection_.music / "kiss.mp3";
        fs::last_write_time(track, fs::last_write_time(track) + std::chrono::seconds(10));
    }
    // The body of a track search on a served catalogue.
    RawAnswer search(CatalogProcess& service, const std::string& text) {
        return rawGet(service.port(),
                      "/api/music/?method=track.search&limit=100&track=" + text + "&page=1");
    }

    Collection collection_;
    fs::path database_;
};

TEST_F(CatalogueDatabaseFault, GarbageFileIsMovedAsideAndRebuilt) {
    const std::string garbage = garbageBytes(64 * 1024);
    std::ofstream(database_, std::ios::binary) << garbage;
    CatalogProcess service;
    ASSERT_TRUE(
        service.start(database_.string(), collection_.music.string(), collection_.videos.string()))
        << service.errorOutput();
    EXPECT_NE(service.errorOutput().find("is damaged"), std::string::npos);
    const RawAnswer answer = search(service, "kiss");
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("<name>Kiss</name>"), std::string::npos) << answer.body;
    std::ifstream aside(database_.string() + ".corrupt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), garbage)
        << "the damaged file was not kept for inspection";
}

TEST_F(CatalogueDatabaseFault, DamagedPagesFoundByTheScanAreRebuilt) {
    int code = -1;
    scanOnly(&code);
    ASSERT_EQ(code, 0);
    ASSERT_GT(fs::file_size(database_), 4096u * 4);
    // Keep the header page (the file still opens), spoil the tables behind it.
    overwrite(database_, 4096, garbageBytes(fs::file_size(database_) - 4096));
    touchTrack();
    const std::string output = scanOnly(&code);
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("is damaged"), std::string::npos) << output;
    CatalogProcess service;
    ASSERT_TRUE(service.start(database_.string(), collection_.music.string(),
                              collection_.videos.string(), {"--no-scan"}));
    EXPECT_NE(search(service, "kiss").body.find("<name>Kiss</name>"), std::string::npos);
}

TEST_F(CatalogueDatabaseFault, DamagedPagesFoundAtStartAreRebuiltAndServed) {
    int code = -1;
    scanOnly(&code);
    ASSERT_EQ(code, 0);
    // The header page opens; the pages behind it are damaged, and no file
    // changed, so no scan would write (and meet the damage) by itself.
    overwrite(database_, 4096, garbageBytes(fs::file_size(database_) - 4096));
    CatalogProcess service;
    ASSERT_TRUE(service.start(database_.string(), collection_.music.string(),
                              collection_.videos.string(), {}))
        << service.errorOutput();
    RawAnswer answer;
    for (int i = 0; i < 100 && answer.body.find("<name>Kiss</name>") == std::string::npos; ++i) {
        answer = search(service, "kiss");
        EXPECT_NE(answer.status, 500) << "a damaged catalogue was served";
        usleep(100000);
    }
    EXPECT_NE(answer.body.find("<name>Kiss</name>"), std::string::npos) << answer.body;
    EXPECT_TRUE(fs::exists(database_.string() + ".corrupt"));
    // A restart finds the rebuilt catalogue sound and keeps it.
    service.stop();
    ASSERT_TRUE(service.start(database_.string(), collection_.music.string(),
                              collection_.videos.string(), {"--no-scan"}));
    EXPECT_NE(search(service, "kiss").body.find("<name>Kiss</name>"), std::string::npos);
    EXPECT_EQ(service.errorOutput().find("is damaged"), std::string::npos);
}

TEST_F(CatalogueDatabaseFault, WriterLockLeavesAnswersAndEndsTheScanWithAMessage) {
    int code = -1;
    scanOnly(&code);
    ASSERT_EQ(code, 0);
    SqliteShell locker(database_, "BEGIN EXCLUSIVE; DELETE FROM tracks WHERE 0;");
    ASSERT_TRUE(locker.holding());

    // Readers are not held up by a writer: the service answers.
    {
        CatalogProcess service;
        ASSERT_TRUE(service.start(database_.string(), collection_.music.string(),
                                  collection_.videos.string(), {"--no-scan"}));
        EXPECT_NE(search(service, "kiss").body.find("<name>Kiss</name>"), std::string::npos);
    }
    // A scan that must write waits its bounded busy time, then gives up.
    touchTrack();
    const std::string output = scanOnly(&code);
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find("locked"), std::string::npos) << output;
}

TEST_F(CatalogueDatabaseFault, ExclusiveHolderMakesItExitWithAMessage) {
    int code = -1;
    scanOnly(&code);
    ASSERT_EQ(code, 0);
    SqliteShell locker(database_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                  "DELETE FROM tracks WHERE 0;");
    ASSERT_TRUE(locker.holding());
    QProcess program;
    program.start(QString::fromStdString(CatalogProcess::program()),
                  {"--no-default-folders", "--port", "0", "--no-scan", "--database",
                   QString::fromStdString(database_.string())});
    ASSERT_TRUE(program.waitForFinished(60000)) << "the service hung on the held database";
    EXPECT_EQ(program.exitCode(), 1);
    const std::string message = program.readAllStandardError().toStdString();
    EXPECT_NE(message.find("locked"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(database_.string() + ".corrupt")) << "a locked file is not damage";
}

} // namespace
