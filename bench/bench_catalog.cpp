// kolvadeck-catalog over a 100,000-track catalogue, each figure against the
// floor measured in the same run:
// - p50 and p99 of each search method (answer text included) against reading
//   the answer's rows by key through sqlite3's C API, one prepared statement:
//   the searches against the tracks or videos rows by id, for a rare and a
//   common word; the similar and top answers against reading the same lists
//   by their keys;
// - the CPU time of bringing in one changed file (tags, tracks and the
//   similarity lists it touches), in ms and against remaking every list;
// - a first scan of 100,000 tagged MP3 files against a walk plus TagLib over
//   the same files (CPU), and an unchanged rescan (wall, and against the walk).
// Repeated figures are reported as their median and their worst.
#include "catalog/ConnectionPool.h"
#include "catalog/Database.h"
#include "catalog/Genres.h"
#include "catalog/Queries.h"
#include "catalog/Scanner.h"
#include "catalog/Service.h"
#include "catalog/Similarity.h"

#include "bench/BenchSupport.h"
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {
    "love",    "night",    "heart",     "dance",  "fire",    "rain",    "summer",    "city",
    "dream",   "light",    "blue",      "road",   "home",    "time",    "world",     "girl",
    "boy",     "baby",     "money",     "soul",   "river",   "moon",    "star",      "shadow",
    "angel",   "devil",    "gold",      "silver", "stone",   "wild",    "free",      "lonely",
    "crazy",   "sweet",    "cold",      "hot",    "forever", "tonight", "yesterday", "morning",
    "highway", "paradise", "thunder",   "ocean",  "window",  "mirror",  "letter",    "secret",
    "promise", "memory",   "echo",      "ghost",  "fever",   "rhythm",  "groove",    "funk",
    "jungle",  "desert",   "island",    "garden", "winter",  "spring",  "autumn",    "train",
    "station", "radio",    "telephone", "kiss",   "tears",   "smile",   "happy",     "sad",
    "young",   "old",      "new",       "last",   "first",   "only",    "every"};
const char* const kFirst[] = {"John", "Mary", "Luke", "Anna", "Mark", "Lisa", "Paul",
                              "Nina", "Carl", "Rosa", "Tom",  "Ella", "Ben",  "Iris",
                              "Sam",  "Kate", "Max",  "Lena", "Joe",  "Eva",  "Ray",
                              "Zoe",  "Ian",  "Amy",  "Leo"};
const char* const kLast[] = {
    "Stone",    "Rivers",   "Knight",    "Black",     "White",     "Green",      "Brown",
    "King",     "Moore",    "Hill",      "Wood",      "Young",     "Walker",     "Hall",
    "Allen",    "Wright",   "Scott",     "Baker",     "Adams",     "Nelson",     "Carter",
    "Mitchell", "Parker",   "Evans",     "Turner",    "Collins",   "Edwards",    "Stewart",
    "Morris",   "Rogers",   "Reed",      "Cook",      "Morgan",    "Bell",       "Murphy",
    "Bailey",   "Cooper",   "Howard",    "Ward",      "Cox",       "Diaz",       "Gray",
    "James",    "Watson",   "Brooks",    "Kelly",     "Sanders",   "Price",      "Bennett",
    "Wood",     "Barnes",   "Ross",      "Henderson", "Coleman",   "Jenkins",    "Perry",
    "Powell",   "Long",     "Patterson", "Hughes",    "Flores",    "Washington", "Butler",
    "Simmons",  "Foster",   "Gonzales",  "Bryant",    "Alexander", "Russell",    "Griffin",
    "Hayes",    "Myers",    "Ford",      "Hamilton",  "Graham",    "Sullivan",   "Wallace",
    "Woods",    "Cole",     "West",      "Jordan",    "Owens",     "Reynolds",   "Fisher",
    "Ellis",    "Harrison", "Gibson",    "McDonald",  "Cruz",      "Marshall",   "Ortiz",
    "Gomez",    "Murray",   "Freeman",   "Wells",     "Webb",      "Simpson",    "Stevens",
    "Tucker",   "Porter"};
const char* const kGenres[] = {"Alternative", "Black",    "Blues",    "Country", "Club",   "Dance",
                               "Folk",        "Hardcore", "Hardrock", "Hip-Hop", "Jazz",   "Metal",
                               "Oldies",      "Pop",      "Pop Rock", "Rave",    "Rap",    "Reggae",
                               "R&B",         "Rock",     "Soul",     "Techno",  "Trance", "Funk",
                               "Disco",       "Punk"};

template <class T, size_t N> const T& pick(const T (&list)[N], std::mt19937& random) {
    return list[random() % N];
}

std::string title(std::mt19937& random) {
    std::string title = pick(kWords, random);
    for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
        title += std::string(" ") + pick(kWords, random);
    title[0] = static_cast<char>(std::toupper(title[0]));
    return title;
}

constexpr int kTracks = 100000;
constexpr int kVideos = 20000;
constexpr int kScanFiles = 100000;
// One track in this many (and one video in a fifth of it) carries the rare word.
constexpr int kRareEvery = 5000;
const char* const kRareWord = "zephyr";
const char* const kCommonWord = "love";

struct Catalogue {
    std::string path;
    std::string music;                                      // the folder its tracks' paths lie in
    std::vector<std::pair<std::string, std::string>> seeds; // artist, title
};

// Rows go straight into the database: an artist keeps one decade and one or
// two genres for all its tracks, as real collections mostly do.
Catalogue makeCatalogue(const fs::path& folder) {
    Catalogue c{(folder / "catalog.sqlite").string(), (folder / "music").string(), {}};
    Database db(c.path);
    std::mt19937 random(42);
    Transaction transaction(db);
    Statement& track = db.prepare("INSERT INTO tracks(path, size, mtime, title, artist, year) "
                                  "VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
    Statement& genre = db.prepare("INSERT OR IGNORE INTO track_genres VALUES (?, ?)");
    std::string artist;
    std::vector<std::string> artistGenres;
    int decade = 1980;
    for (int i = 0; i < kTracks; ++i) {
        if (i % 20 == 0) {
            artist = std::string(pick(kFirst, random)) + " " + pick(kLast, random) + " " +
                     std::to_string(i / 20);
            artistGenres = {genres::key(pick(kGenres, random))};
            if (random() % 2)
                artistGenres.push_back(genres::key(pick(kGenres, random)));
            decade = 1950 + static_cast<int>(random() % 7) * 10;
        }
        std::string title = ::title(random);
        if (i % kRareEvery == 0)
            title += std::string(" ") + kRareWord;
        track.reset().bind(1, c.music + "/" + std::to_string(i) + ".mp3").bind(2, title);
        track.bind(3, artist).bind(4, std::int64_t{decade + static_cast<int>(random() % 10)});
        track.step();
        const std::int64_t id = track.integer(0);
        track.run();
        for (const std::string& key : artistGenres)
            genre.reset().bind(1, id).bind(2, key).run();
        if (i % 997 == 0)
            c.seeds.emplace_back(artist, title);
    }
    Statement& video = db.prepare("INSERT INTO videos(path, size, mtime, extension, name, title) "
                                  "VALUES (?, 1, 1, 'mp4', ?, ?)");
    for (int i = 0; i < kVideos; ++i) {
        std::string name = std::string(pick(kLast, random)) + " - " + title(random);
        if (i % (kRareEvery / 5) == 0)
            name += std::string(" ") + kRareWord;
        video.reset().bind(1, "/videos/" + std::to_string(i) + ".mp4").bind(2, name).bind(3, name);
        video.run();
    }
    transaction.commit();
    db.execute("ANALYZE");
    return c;
}

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// --- p50 and p99 against the rows of the answer read by key -----------------

// One prepared statement; each Read binds the key values, steps and reads
// every column of every row.
class KeyFloor {
public:
    KeyFloor(const std::string& path, const char* sql) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db_));
    }
    ~KeyFloor() {
        sqlite3_finalize(statement_);
        sqlite3_close(db_);
    }
    KeyFloor(const KeyFloor&) = delete;
    KeyFloor& operator=(const KeyFloor&) = delete;

    // Each key is the values of the statement's parameters, in order.
    void read(const std::vector<std::vector<std::string>>& keys) {
        for (const auto& key : keys) {
            for (size_t k = 0; k < key.size(); ++k)
                sqlite3_bind_text(statement_, static_cast<int>(k) + 1, key[k].data(),
                                  static_cast<int>(key[k].size()), SQLITE_STATIC);
            while (sqlite3_step(statement_) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(statement_); ++c)
                    benchmark::DoNotOptimize(sqlite3_column_text(statement_, c));
            sqlite3_reset(statement_);
        }
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

using Keys = std::vector<std::vector<std::string>>;

// Blanks as the player's download layer sends them; "&" too.
std::string escaped(std::string text) {
    for (size_t at = 0; (at = text.find_first_of(" &", at)) != std::string::npos;)
        text.replace(at, 1, text[at] == ' ' ? "%20" : "%26");
    return text;
}

std::string id(Database& db, const char* sql, const std::vector<std::string>& values) {
    Statement& s = db.prepare(sql);
    for (size_t k = 0; k < values.size(); ++k)
        s.bind(static_cast<int>(k) + 1, values[k]);
    const std::string id = s.step() ? s.text(0) : std::string();
    s.reset();
    return id;
}

// The key of a similar-track answer's list: the seed's profile, as the
// service works it out.
std::string profileOf(Database& db, const std::string& artist, const std::string& title) {
    const std::string track =
        id(db, "SELECT id FROM tracks WHERE artist = ? AND title = ?", {artist, title});
    std::vector<std::string> genres;
    Statement& genresOf = db.prepare("SELECT genre FROM track_genres WHERE track_id = ?");
    genresOf.bind(1, track);
    while (genresOf.step())
        genres.push_back(genresOf.text(0));
    const std::int64_t year = std::stoll(id(db, "SELECT year FROM tracks WHERE id = ?", {track}));
    const std::string key = similarity::profileKey(genres, year > 0 ? std::vector{year / 10}
                                                                    : std::vector<std::int64_t>{});
    return id(db, "SELECT id FROM track_profiles WHERE key = ?", {key});
}

// One call of the method for case i, and the floor for the same answer.
struct Timed {
    std::string name;
    size_t cases;
    std::function<void(size_t)> ours;
    std::function<void(size_t)> floor;
};

// Ours and the floor in turn, call by call, so that both meet the same
// disturbances of a shared machine.
std::pair<benchsupport::Spread, benchsupport::Spread> measure(size_t runs, const Timed& method) {
    for (size_t i = 0; i < std::min<size_t>(runs / 10 + 1, 50); ++i) {
        method.ours(i % method.cases); // warm the caches as a running service has them
        method.floor(i % method.cases);
    }
    std::vector<double> ours;
    std::vector<double> floor;
    for (size_t i = 0; i < runs; ++i) {
        const double start = wallSeconds();
        method.ours(i % method.cases);
        const double middle = wallSeconds();
        method.floor(i % method.cases);
        ours.push_back(middle - start);
        floor.push_back(wallSeconds() - middle);
    }
    return {benchsupport::Spread(std::move(ours)), benchsupport::Spread(std::move(floor))};
}

std::vector<Timed> timedMethods(const Catalogue& catalogue, ConnectionPool& pool,
                                std::vector<std::unique_ptr<KeyFloor>>& floors) {
    Database db(catalogue.path);
    const auto floor = [&](const char* sql) {
        floors.push_back(std::make_unique<KeyFloor>(catalogue.path, sql));
        return floors.back().get();
    };
    KeyFloor* tracks = floor("SELECT title, artist, path FROM tracks WHERE id = ?");
    KeyFloor* videos = floor("SELECT title, artist, extension, seconds FROM videos WHERE id = ?");
    KeyFloor* similarTracks =
        floor("SELECT t.title, t.artist, s.score, t.path FROM similar_tracks s JOIN tracks t ON "
              "t.id = s.track_id WHERE s.profile = ? AND s.rank < ? ORDER BY s.rank");
    KeyFloor* similarArtists =
        floor("SELECT o.name, l.genres, l.decades FROM similar_artists l JOIN artists o ON o.id "
              "= l.other WHERE l.artist = ? AND l.rank < 100 ORDER BY l.rank");
    KeyFloor* topArtists =
        floor("SELECT a.name, l.tracks FROM top_artists l JOIN artists a ON a.id = l.artist "
              "WHERE l.tag = ? AND l.rank < 100 ORDER BY l.rank");

    const queries::Window window{100, 0};
    const auto trackKeys = [&](const std::vector<queries::Track>& rows) {
        Keys keys;
        for (const queries::Track& t : rows)
            keys.push_back({id(db, "SELECT id FROM tracks WHERE path = ?", {t.path})});
        return keys;
    };
    std::vector<Keys> searchKeys, videoKeys, similarKeys, artistKeys, topKeys;
    const std::vector<std::string> words{kRareWord, kCommonWord};
    for (const std::string& w : words) {
        searchKeys.push_back(trackKeys(queries::searchTracks(db, w, window).rows));
        Keys keys;
        for (const auto& v : queries::searchVideos(db, w, {50, 0}).rows)
            keys.push_back({std::to_string(v.id)});
        videoKeys.push_back(keys);
    }
    // A similar-track answer: the artist's other tracks, then its list.
    const auto& seeds = catalogue.seeds;
    for (const auto& [artist, title] : seeds) {
        const auto answer = queries::similarTracks(db, artist, title, window).rows;
        Keys keys;
        std::int64_t listed = 0;
        for (const queries::Track& t : answer) {
            if (t.score == 3000)
                keys.push_back({id(db, "SELECT id FROM tracks WHERE path = ?", {t.path})});
            else
                ++listed;
        }
        // The list's rows down to the answer's last, the seed artist's own
        // among them (the answer passes over them).
        const std::string profile = profileOf(db, artist, title);
        std::int64_t rows = 0;
        Statement& list = db.prepare("SELECT t.artist FROM similar_tracks s JOIN tracks t ON "
                                     "t.id = s.track_id WHERE s.profile = ? ORDER BY s.rank");
        list.bind(1, profile);
        for (std::int64_t others = 0; others < listed && list.step(); ++rows)
            if (similarity::fold(list.text(0)) != similarity::fold(artist))
                ++others;
        list.reset();
        keys.push_back({profile, std::to_string(rows)});
        similarKeys.push_back(keys);
        artistKeys.push_back(
            {{id(db, "SELECT id FROM artists WHERE key = ?", {similarity::fold(artist)})}});
    }
    std::vector<std::string> tags;
    for (const char* genre : kGenres) {
        tags.push_back(genre);
        topKeys.push_back({{"g:" + genres::key(genre)}});
    }
    for (int decade = 1950; decade < 2010; decade += 10) {
        tags.push_back(std::to_string(decade) + "s");
        topKeys.push_back({{"y:" + std::to_string(decade)}});
    }

    auto service = std::make_shared<Service>(pool);
    const auto music = [service](const std::string& query) {
        const Reply reply = service->music(query);
        if (reply.status != 200)
            std::fprintf(stderr, "not answered: %s\n", query.c_str());
        benchmark::DoNotOptimize(reply.body.data());
    };
    const auto video = [service](const std::string& word) {
        const Reply reply = service->video("vq=" + escaped(word) + "&max-results=50&start-index=1",
                                           "http://127.0.0.1:8098");
        benchmark::DoNotOptimize(reply.body.data());
    };
    // Own rows read by id, then the list by (profile, rank).
    const auto similarFloor = [=](size_t i) {
        const Keys& keys = similarKeys[i];
        tracks->read(Keys(keys.begin(), keys.end() - 1));
        similarTracks->read({keys.back()});
    };
    std::vector<Timed> timed;
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string kind = w == 0 ? "_rare" : "_common";
        timed.push_back(
            {"track_search" + kind, 1,
             [=](size_t) { music("method=track.search&limit=100&track=" + words[w] + "&page=1"); },
             [=](size_t) { tracks->read(searchKeys[w]); }});
        timed.push_back({"video_search" + kind, 1, [=](size_t) { video(words[w]); },
                         [=](size_t) { videos->read(videoKeys[w]); }});
    }
    timed.push_back({"track_getsimilar", seeds.size(),
                     [=](size_t i) {
                         music("method=track.getSimilar&limit=100&artist=" +
                               escaped(seeds[i].first) + "&track=" + escaped(seeds[i].second));
                     },
                     similarFloor});
    timed.push_back({"artist_getsimilar", seeds.size(),
                     [=](size_t i) {
                         music("method=artist.getSimilar&limit=100&artist=" +
                               escaped(seeds[i].first));
                     },
                     [=](size_t i) { similarArtists->read(artistKeys[i]); }});
    timed.push_back({"tag_gettopartists", tags.size(),
                     [=](size_t i) {
                         music("method=tag.gettopartists&limit=100&tag=" + escaped(tags[i]) +
                               "&page=1");
                     },
                     [=](size_t i) { topArtists->read(topKeys[i]); }});
    return timed;
}

void reportSearches(const Catalogue& catalogue, ConnectionPool& pool) {
    std::vector<std::unique_ptr<KeyFloor>> floors;
    for (const Timed& method : timedMethods(catalogue, pool, floors)) {
        const auto [ours, floor] = measure(1000, method);
        std::printf("%-24s ours p50 %8.1f us p99 %8.1f us | floor p50 %7.1f us p99 %7.1f us\n",
                    method.name.c_str(), ours.percentile(50) * 1e6, ours.percentile(99) * 1e6,
                    floor.percentile(50) * 1e6, floor.percentile(99) * 1e6);
        benchsupport::printRatio(method.name + "_p50_100k", ours.percentile(50),
                                 floor.percentile(50));
        benchsupport::printRatio(method.name + "_p99_100k", ours.percentile(99),
                                 floor.percentile(99));
    }
}

// --- one changed file --------------------------------------------------------

// A tiny MP3 made once by sox and lame; its bytes, without any tag.
std::string makeSound(const fs::path& folder) {
    const std::string wav = (folder / "t.wav").string();
    const std::string mp3 = (folder / "t.mp3").string();
    if (std::system(("sox -n -r 8000 -c 1 '" + wav + "' synth 0.1 sine 440 && lame --quiet -b 8 '" +
                     wav + "' '" + mp3 + "'")
                        .c_str()) != 0)
        return {};
    std::ifstream file(mp3, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// An ID3v2.3 tag with Latin-1 text frames.
std::string id3v2(const std::vector<std::pair<const char*, std::string>>& fields) {
    std::string frames;
    for (const auto& [id, text] : fields) {
        const auto size = static_cast<std::uint32_t>(text.size() + 1);
        frames += id;
        for (const int shift : {24, 16, 8, 0})
            frames += static_cast<char>((size >> shift) & 0xFF);
        frames += std::string(3, '\0') + text;
    }
    std::string tag = "ID3";
    tag += std::string{'\x03', '\0', '\0'};
    const auto size = static_cast<std::uint32_t>(frames.size());
    for (const int shift : {21, 14, 7, 0})
        tag += static_cast<char>((size >> shift) & 0x7F);
    return tag + frames;
}

void writeTagged(const fs::path& file, const std::string& sound, const std::string& title,
                 const std::string& artist, const std::string& genre, int year) {
    std::ofstream(file, std::ios::binary)
        << id3v2(
               {{"TIT2", title}, {"TPE1", artist}, {"TCON", genre}, {"TYER", std::to_string(year)}})
        << sound;
}

// The file of one catalogued track changes (its tags alternate between two
// artists, genres and decades) and the catalogue takes it in.
void reportOneFileUpdate(const Catalogue& catalogue, const std::string& sound) {
    fs::create_directories(catalogue.music);
    const std::string file = catalogue.music + "/4242.mp3";
    Database db(catalogue.path);
    const double start = cpuSeconds();
    similarity::recompute(db);
    const double full = cpuSeconds() - start;
    std::printf("every similarity list made in %.2f s CPU\n", full);
    std::vector<double> times;
    for (int round = 0; round < 7; ++round) {
        writeTagged(file, sound, round % 2 ? "Changed Once" : "Changed Twice",
                    round % 2 ? "Aaron Aardvark" : "Zoe Stone 77", round % 2 ? "Jazz" : "Punk",
                    round % 2 ? 1964 : 1999);
        Scanner scanner(db, {{catalogue.music}, {}});
        const double before = cpuSeconds();
        const ScanReport report = scanner.update({file});
        times.push_back(cpuSeconds() - before);
        if (report.read != 1 || !similarity::ready(db))
            std::fprintf(stderr, "the changed file was not taken in\n");
    }
    const benchsupport::Spread spread(times);
    std::printf("one changed file: %.1f ms CPU median, %.1f ms worst\n", spread.median() * 1e3,
                spread.worst() * 1e3);
    std::printf("ratio one_file_update_cpu_ms_100k %.1f\n", spread.median() * 1e3);
    std::printf("ratio one_file_update_worst_cpu_ms_100k %.1f\n", spread.worst() * 1e3);
    benchsupport::printRatio("one_file_update_vs_all_lists_100k", spread.median(), full);
}

// --- scans of 100,000 files --------------------------------------------------

// Tagged MP3 files, 200 to a folder, each with tags of its own.
std::vector<std::string> makeScanFiles(const fs::path& music, const std::string& sound) {
    std::mt19937 random(7);
    std::vector<std::string> files;
    for (int i = 0; i < kScanFiles; ++i) {
        const fs::path file =
            music / ("sub" + std::to_string(i / 200)) / ("track" + std::to_string(i) + ".mp3");
        if (i % 200 == 0)
            fs::create_directories(file.parent_path());
        writeTagged(file, sound, title(random),
                    std::string(pick(kFirst, random)) + " " + pick(kLast, random),
                    pick(kGenres, random), 1960 + static_cast<int>(random() % 60));
        files.push_back(file.string());
    }
    return files;
}

// The floor of a scan: the walk with a stat of every file, and (tags) TagLib
// reading each file's tag.
void walkAndRead(const fs::path& music, bool tags) {
    size_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(music)) {
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        bytes += static_cast<size_t>(info.st_size);
        if (!tags)
            continue;
        const TagLib::FileRef ref(entry.path().c_str(), false);
        if (const TagLib::Tag* tag = ref.tag())
            bytes += tag->title().size() + tag->artist().size() + tag->genre().size() +
                     tag->album().size() + tag->year();
    }
    benchmark::DoNotOptimize(bytes);
}

struct Cost {
    double cpu = 0;
    double wall = 0;
};

Cost timing(const std::function<void()>& work) {
    const double cpu = cpuSeconds();
    const double wall = wallSeconds();
    work();
    return {cpuSeconds() - cpu, wallSeconds() - wall};
}

void reportScans(const fs::path& folder, const std::string& sound) {
    const fs::path music = folder / "scan";
    if (makeScanFiles(music, sound).size() != static_cast<size_t>(kScanFiles))
        return;
    const std::string path = (folder / "scan.sqlite").string();
    std::vector<double> floorCpu, oursCpu, walkWall, rescanWall;
    for (int round = 0; round < 3; ++round) {
        floorCpu.push_back(timing([&] { walkAndRead(music, true); }).cpu);
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(path + suffix);
        oursCpu.push_back(timing([&] {
                              Database db(path);
                              Scanner scanner(db, {{music.string()}, {}});
                              if (scanner.run().read != kScanFiles)
                                  std::fprintf(stderr, "not all files read\n");
                          }).cpu);
    }
    for (int round = 0; round < 5; ++round) {
        walkWall.push_back(timing([&] { walkAndRead(music, false); }).wall);
        rescanWall.push_back(timing([&] {
                                 Database db(path);
                                 Scanner scanner(db, {{music.string()}, {}});
                                 if (scanner.run().unchanged != kScanFiles)
                                     std::fprintf(stderr, "the rescan read files again\n");
                             }).wall);
    }
    const benchsupport::Spread floor(floorCpu), ours(oursCpu), walk(walkWall), rescan(rescanWall);
    std::printf("first scan: ours %.2f s CPU (worst %.2f) | walk + TagLib %.2f s (worst %.2f)\n",
                ours.median(), ours.worst(), floor.median(), floor.worst());
    std::printf("unchanged rescan: ours %.2f s wall (worst %.2f) | walk %.2f s (worst %.2f)\n",
                rescan.median(), rescan.worst(), walk.median(), walk.worst());
    benchsupport::printRatio("first_scan_100k", ours.median(), floor.median());
    benchsupport::printRatio("first_scan_worst_100k", ours.worst(), floor.median());
    std::printf("ratio unchanged_rescan_wall_s_100k %.2f\n", rescan.median());
    std::printf("ratio unchanged_rescan_worst_wall_s_100k %.2f\n", rescan.worst());
    benchsupport::printRatio("unchanged_rescan_vs_walk_100k", rescan.median(), walk.median());
}

} // namespace

// Without arguments every part runs; "update", "search" or "scan" run those
// parts alone.
int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    const std::vector<std::string> parts(argv + 1, argv + argc);
    const auto wanted = [&](const char* part) {
        return parts.empty() || std::find(parts.begin(), parts.end(), part) != parts.end();
    };
    char pattern[] = "/tmp/kolvadeck-bench-catalog.XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path folder = pattern;
    const std::string sound = makeSound(folder);
    if (sound.empty()) {
        std::fprintf(stderr, "bench_catalog: could not make a sound file (sox, lame)\n");
        fs::remove_all(folder);
        return 1;
    }
    const Catalogue catalogue = makeCatalogue(folder);
    if (wanted("update"))
        reportOneFileUpdate(catalogue, sound);
    if (wanted("search")) {
        Database db(catalogue.path);
        if (!similarity::ready(db))
            similarity::recompute(db);
        ConnectionPool pool(catalogue.path);
        reportSearches(catalogue, pool);
    }
    if (wanted("scan"))
        reportScans(folder, sound);
    fs::remove_all(folder);
    return 0;
}
