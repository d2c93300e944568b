// The catalogue service's request handling without HTTP, over a small
// catalogue: the first byte chooses the music or the video path, the rest is
// the query text as it came after "?". Every request gets an answer that is
// well-formed XML 1.0 in UTF-8 (checked by Qt's strict reader) and that the
// player's reader loads; none fails inside the service.
#include "catalog/ConnectionPool.h"
#include "catalog/Database.h"
#include "catalog/Service.h"
#include "fuzz/FuzzCheck.h"

#include <QXmlStreamReader>
#include <pugixml.hpp>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// True when the whole text is well-formed XML in valid UTF-8 with no
// character XML 1.0 forbids.
bool StrictlyWellFormed(const std::string& body) {
    QXmlStreamReader reader(QByteArray::fromRawData(body.data(), qsizetype(body.size())));
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

void AddTrack(Database& db, const char* title, const char* artist, std::int64_t year,
              std::initializer_list<const char*> genres) {
    static int count = 0;
    Statement& insert = db.Prepare("INSERT INTO tracks(path, size, mtime, title, artist, year) "
                                   "VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
    insert.Reset().Bind(1, "/music/" + std::to_string(++count) + ".mp3");
    insert.Bind(2, title).Bind(3, artist).Bind(4, year);
    FuzzCheck(insert.Step(), "a track is added");
    const std::int64_t id = insert.Int(0);
    insert.Run();
    for (const char* genre : genres)
        db.Prepare("INSERT INTO track_genres VALUES (?, ?)")
            .Reset()
            .Bind(1, id)
            .Bind(2, genre)
            .Run();
}

void AddVideo(Database& db, const char* name, const char* title, const char* artist) {
    Statement& insert = db.Prepare("INSERT INTO videos(path, size, mtime, extension, name, title, "
                                   "artist, seconds) VALUES (?, 1, 1, 'mp4', ?, ?, ?, 120)");
    insert.Reset().Bind(1, std::string("/videos/") + name + ".mp4").Bind(2, name);
    insert.Bind(3, title).Bind(4, artist).Run();
}

// A fresh catalogue file of a few rows, removed when the process ends.
std::string MakeCatalogue() {
    static std::string path;
    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir && *dir ? dir : "/tmp") + "/kv-fuzz-" + std::to_string(::getpid()) +
           "-catalog.sqlite";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
    {
        Database db(path);
        AddTrack(db, "Kiss", "Prince", 1986, {"rb", "funk"});
        AddTrack(db, "When Doves Cry", "Prince", 1984, {"rb"});
        AddTrack(db, "Super Freak", "Rick James", 1981, {"funk", "rb"});
        AddTrack(db, "Walk This Way", "Run-DMC", 1986, {"hiphop", "rock"});
        AddTrack(db, "Smells <Like> \"Teen\" & Spirit", "Nirvana", 1991, {"rock"});
        AddTrack(db, "Ça plane pour moi", "Plastic Bertrand", 1977, {"punk", "R&B"});
        AddVideo(db, "Prince - Kiss", "Kiss", "Prince");
        AddVideo(db, "clip & <odd> \"name\"", "clip & <odd> \"name\"", "");
    }
    std::atexit([] {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((path + suffix).c_str());
    });
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ConnectionPool pool(MakeCatalogue());
    static Service service(pool);
    if (size == 0)
        return 0;
    const bool video = data[0] & 1;
    const std::string_view query(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Reply reply =
        video ? service.Video(query, "http://127.0.0.1:8098") : service.Music(query);

    FuzzCheck(reply.status == 200 || reply.status == 400, "a request is answered or refused");
    pugi::xml_document answer;
    FuzzCheck(static_cast<bool>(answer.load_buffer(reply.body.data(), reply.body.size())),
              "the answer is XML");
    FuzzCheck(StrictlyWellFormed(reply.body), "the answer is valid XML 1.0 in UTF-8");
    const pugi::xml_node root = answer.document_element();
    if (reply.status == 400)
        FuzzCheck(std::strcmp(root.name(), "lfm") == 0 &&
                      std::strcmp(root.attribute("status").value(), "failed") == 0,
                  "a refusal is a failed answer");
    else if (video)
        FuzzCheck(std::strcmp(root.name(), "feed") == 0, "videos come as a feed");
    else
        FuzzCheck(std::strcmp(root.name(), "lfm") == 0 &&
                      std::strcmp(root.attribute("status").value(), "ok") == 0,
                  "music comes as an ok answer");
    return 0;
}
