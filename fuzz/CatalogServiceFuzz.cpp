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
bool strictlyWellFormed(const std::string& body) {
    QXmlStreamReader reader(QByteArray::fromRawData(body.data(), qsizetype(body.size())));
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

void addTrack(Database& db, const char* title, const char* artist, std::int64_t year,
              std::initializer_list<const char*> genres) {
    static int count = 0;
    Statement& insert = db.prepare("INSERT INTO tracks(path, size, mtime, title, artist, year) "
                                   "VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
    insert.reset().bind(1, "/music/" + std::to_string(++count) + ".mp3");
    insert.bind(2, title).bind(3, artist).bind(4, year);
    fuzzCheck(insert.step(), "a track is added");
    const std::int64_t id = insert.integer(0);
    insert.run();
    for (const char* genre : genres)
        db.prepare("INSERT INTO track_genres VALUES (?, ?)")
            .reset()
            .bind(1, id)
            .bind(2, genre)
            .run();
}

void addVideo(Database& db, const char* name, const char* title, const char* artist) {
    Statement& insert = db.prepare("INSERT INTO videos(path, size, mtime, extension, name, title, "
                                   "artist, seconds) VALUES (?, 1, 1, 'mp4', ?, ?, ?, 120)");
    insert.reset().bind(1, std::string("/videos/") + name + ".mp4").bind(2, name);
    insert.bind(3, title).bind(4, artist).run();
}

// A fresh catalogue file of a few rows, removed when the process ends.
std::string makeCatalogue() {
    static std::string path;
    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir && *dir ? dir : "/tmp") + "/kv-fuzz-" + std::to_string(::getpid()) +
           "-catalog.sqlite";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
    {
        Database db(path);
        addTrack(db, "Kiss", "Prince", 1986, {"rb", "funk"});
        addTrack(db, "When Doves Cry", "Prince", 1984, {"rb"});
        addTrack(db, "Super Freak", "Rick James", 1981, {"funk", "rb"});
        addTrack(db, "Walk This Way", "Run-DMC", 1986, {"hiphop", "rock"});
        addTrack(db, "Smells <Like> \"Teen\" & Spirit", "Nirvana", 1991, {"rock"});
        addTrack(db, "Ça plane pour moi", "Plastic Bertrand", 1977, {"punk", "R&B"});
        addVideo(db, "Prince - Kiss", "Kiss", "Prince");
        addVideo(db, "clip & <odd> \"name\"", "clip & <odd> \"name\"", "");
    }
    std::atexit([] {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((path + suffix).c_str());
    });
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ConnectionPool pool(makeCatalogue());
    static Service service(pool);
    if (size == 0)
        return 0;
    const bool video = data[0] & 1;
    const std::string_view query(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Reply reply =
        video ? service.video(query, "http://127.0.0.1:8098") : service.music(query);

    fuzzCheck(reply.status == 200 || reply.status == 400, "a request is answered or refused");
    pugi::xml_document answer;
    fuzzCheck(static_cast<bool>(answer.load_buffer(reply.body.data(), reply.body.size())),
              "the answer is XML");
    fuzzCheck(strictlyWellFormed(reply.body), "the answer is valid XML 1.0 in UTF-8");
    const pugi::xml_node root = answer.document_element();
    if (reply.status == 400)
        fuzzCheck(std::strcmp(root.name(), "lfm") == 0 &&
                      std::strcmp(root.attribute("status").value(), "failed") == 0,
                  "a refusal is a failed answer");
    else if (video)
        fuzzCheck(std::strcmp(root.name(), "feed") == 0, "videos come as a feed");
    else
        fuzzCheck(std::strcmp(root.name(), "lfm") == 0 &&
                      std::strcmp(root.attribute("status").value(), "ok") == 0,
                  "music comes as an ok answer");
    return 0;
}
