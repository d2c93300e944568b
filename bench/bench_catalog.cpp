// kolvadeck-catalog's searches over a 100,000-track catalogue:
// - p50 and p99 of each of the five methods (answer text included) against
//   the floor of reading the very rows of that answer by primary key through
//   sqlite3's C API (one prepared statement), both timed in the same run; the
//   similarity methods also before their lists are made (plain SQL), as the
//   figures to beat;
// - each method against the same SQL run through sqlite3 alone (fastest run);
// - a first scan of 10,000 tagged MP3 files against reading their tags with
//   TagLib in a plain loop.
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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kTracks = 100000;
constexpr int kVideos = 20000;
constexpr int kScanFiles = 10000;

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

template <class T, size_t N> const T& Pick(const T (&list)[N], std::mt19937& random) {
    return list[random() % N];
}

std::string Title(std::mt19937& random) {
    std::string title = Pick(kWords, random);
    for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
        title += std::string(" ") + Pick(kWords, random);
    title[0] = static_cast<char>(std::toupper(title[0]));
    return title;
}

struct Catalogue {
    std::string path;
    std::string someArtist;
    std::string someTitle;
    std::vector<std::pair<std::string, std::string>> seeds; // artist, title
};

// Rows go straight into the database: an artist keeps one decade and one or
// two genres for all its tracks, as real collections mostly do.
Catalogue MakeCatalogue(const fs::path& folder) {
    Catalogue c{(folder / "catalog.sqlite").string(), {}, {}, {}};
    Database db(c.path);
    std::mt19937 random(42);
    Transaction transaction(db);
    Statement& track = db.Prepare("INSERT INTO tracks(path, size, mtime, title, artist, year) "
                                  "VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
    Statement& genre = db.Prepare("INSERT OR IGNORE INTO track_genres VALUES (?, ?)");
    std::string artist;
    std::vector<std::string> artistGenres;
    int decade = 1980;
    for (int i = 0; i < kTracks; ++i) {
        if (i % 20 == 0) {
            artist = std::string(Pick(kFirst, random)) + " " + Pick(kLast, random) + " " +
                     std::to_string(i / 20);
            artistGenres = {genres::Key(Pick(kGenres, random))};
            if (random() % 2)
                artistGenres.push_back(genres::Key(Pick(kGenres, random)));
            decade = 1950 + static_cast<int>(random() % 7) * 10;
        }
        const std::string title = Title(random);
        track.Reset().Bind(1, "/music/" + std::to_string(i) + ".mp3").Bind(2, title);
        track.Bind(3, artist).Bind(4, std::int64_t{decade + static_cast<int>(random() % 10)});
        track.Step();
        const std::int64_t id = track.Int(0);
        track.Run();
        for (const std::string& key : artistGenres)
            genre.Reset().Bind(1, id).Bind(2, key).Run();
        if (i == 4242) {
            c.someArtist = artist;
            c.someTitle = title;
        }
        if (i % 997 == 0)
            c.seeds.emplace_back(artist, title);
    }
    Statement& video = db.Prepare("INSERT INTO videos(path, size, mtime, extension, name, title) "
                                  "VALUES (?, 1, 1, 'mp4', ?, ?)");
    for (int i = 0; i < kVideos; ++i) {
        const std::string name = std::string(Pick(kLast, random)) + " - " + Title(random);
        video.Reset().Bind(1, "/videos/" + std::to_string(i) + ".mp4").Bind(2, name).Bind(3, name);
        video.Run();
    }
    transaction.Commit();
    db.Exec("ANALYZE");
    return c;
}

// The floor: one statement, prepared once; each run binds, steps and reads
// every column of every row.
class Floor {
public:
    Floor(const std::string& path, const char* sql) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db_));
    }
    ~Floor() {
        sqlite3_finalize(statement_);
        sqlite3_close(db_);
    }
    sqlite3_stmt* Statement() { return statement_; }
    size_t Run() {
        size_t bytes = 0;
        while (sqlite3_step(statement_) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(statement_); ++c) {
                benchmark::DoNotOptimize(sqlite3_column_text(statement_, c));
                bytes += static_cast<size_t>(sqlite3_column_bytes(statement_, c));
            }
        sqlite3_reset(statement_);
        return bytes;
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

Catalogue* catalogue = nullptr;
ConnectionPool* pool = nullptr;

void Text(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Blanks as the player's download layer sends them; "&" too.
std::string Escaped(std::string text) {
    for (size_t at = 0; (at = text.find_first_of(" &", at)) != std::string::npos;)
        text.replace(at, 1, text[at] == ' ' ? "%20" : "%26");
    return text;
}

struct Method {
    std::string name;
    std::string query; // after "?" on the music or video path
    const char* sql;
    std::function<void(sqlite3_stmt*)> bind;
    bool video = false;
};

std::vector<Method> Methods() {
    const std::string artist = catalogue->someArtist;
    const std::string title = catalogue->someTitle;
    const auto window = [](sqlite3_stmt* s, int first, int limit) {
        sqlite3_bind_int64(s, first, limit);
        sqlite3_bind_int64(s, first + 1, 0);
    };
    return {
        {"track_search", "method=track.search&limit=100&track=love%20night&page=1",
         queries::kSearchTracksSql,
         [=](sqlite3_stmt* s) {
             Text(s, 1, queries::MatchAllWords("love night"));
             window(s, 2, 100);
         }},
        {"track_getsimilar",
         "method=track.getSimilar&limit=100&artist=" + Escaped(artist) +
             "&track=" + Escaped(title) + "&page=1",
         queries::kSimilarTracksSql,
         [=](sqlite3_stmt* s) {
             Text(s, 1, artist);
             Text(s, 2, title);
             window(s, 3, 100);
         }},
        {"tag_gettopartists_genre", "method=tag.gettopartists&limit=100&tag=Hip%20Hop&page=1",
         queries::kTopArtistsOfGenreSql,
         [=](sqlite3_stmt* s) {
             Text(s, 1, "hiphop");
             window(s, 2, 100);
         }},
        {"tag_gettopartists_decade", "method=tag.gettopartists&limit=100&tag=80's&page=1",
         queries::kTopArtistsOfYearsSql,
         [=](sqlite3_stmt* s) {
             sqlite3_bind_int64(s, 1, 1980);
             sqlite3_bind_int64(s, 2, 1989);
             window(s, 3, 100);
         }},
        {"artist_getsimilar",
         "method=artist.getSimilar&limit=100&artist=" + Escaped(artist) + "&page=1",
         queries::kSimilarArtistsSql,
         [=](sqlite3_stmt* s) {
             Text(s, 1, artist);
             window(s, 2, 100);
         }},
        {"youtube_sources", "vq=love%20night&max-results=50&start-index=1",
         queries::kSearchVideosSql,
         [=](sqlite3_stmt* s) {
             Text(s, 1, queries::MatchAllWords("love night"));
             window(s, 2, 50);
         },
         true},
    };
}

void RegisterMethods() {
    for (const Method& method : Methods()) {
        benchmark::RegisterBenchmark(("BM_Floor_" + method.name).c_str(),
                                     [method](benchmark::State& state) {
                                         Floor floor(catalogue->path, method.sql);
                                         for (auto _ : state) {
                                             method.bind(floor.Statement());
                                             benchmark::DoNotOptimize(floor.Run());
                                         }
                                     })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_Ours_" + method.name).c_str(), [method](benchmark::State&
                                                                                      state) {
            Service service(*pool);
            for (auto _ : state) {
                const Reply reply = method.video
                                        ? service.Video(method.query, "http://127.0.0.1:8098")
                                        : service.Music(method.query);
                if (reply.status != 200)
                    state.SkipWithError("not answered");
                benchmark::DoNotOptimize(reply.body.data());
            }
        })->Unit(benchmark::kMicrosecond);
    }
}

// 10,000 tiny MP3 files, copies of one, each with tags of its own.
std::vector<std::string> MakeScanFiles(const fs::path& folder) {
    const fs::path music = folder / "music";
    fs::create_directories(music);
    const std::string wav = (folder / "t.wav").string();
    const std::string mp3 = (folder / "t.mp3").string();
    if (std::system(("sox -n -r 8000 -c 1 '" + wav + "' synth 0.1 sine 440 && lame --quiet -b 8 '" +
                     wav + "' '" + mp3 + "'")
                        .c_str()) != 0)
        return {};
    std::mt19937 random(7);
    std::vector<std::string> files;
    for (int i = 0; i < kScanFiles; ++i) {
        const fs::path file =
            music / ("sub" + std::to_string(i % 50)) / ("track" + std::to_string(i) + ".mp3");
        fs::create_directories(file.parent_path());
        fs::copy_file(mp3, file);
        TagLib::MPEG::File tagged(file.c_str());
        TagLib::ID3v2::Tag* tag = tagged.ID3v2Tag(true);
        tag->setTitle(Title(random));
        tag->setArtist(std::string(Pick(kFirst, random)) + " " + Pick(kLast, random));
        tag->setGenre(Pick(kGenres, random));
        tag->setYear(1960 + static_cast<unsigned>(random() % 60));
        tagged.save();
        files.push_back(file.string());
    }
    return files;
}

std::vector<std::string> scanFiles;
fs::path scanFolder;

void BM_Floor_first_scan(benchmark::State& state) {
    for (auto _ : state) {
        size_t bytes = 0;
        for (const std::string& file : scanFiles) {
            const TagLib::FileRef ref(file.c_str(), false);
            if (const TagLib::Tag* tag = ref.tag()) {
                bytes += tag->title().size() + tag->artist().size() + tag->genre().size() +
                         tag->album().size() + tag->year();
            }
        }
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_Ours_first_scan(benchmark::State& state) {
    const std::string path = (scanFolder / "scan.sqlite").string();
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(path + suffix);
        state.ResumeTiming();
        Database db(path);
        Scanner scanner(db, {{(scanFolder / "music").string()}, {}});
        if (scanner.Run().read != kScanFiles)
            state.SkipWithError("not all files read");
    }
}

// --- p50 and p99 against the rows of the answer read by primary key ---------

using Clock = std::chrono::steady_clock;

struct Percentiles {
    double p50 = 0;
    double p99 = 0;
};

// One call of the method for seed i, and the floor for the same answer.
struct Timed {
    std::string name;
    size_t seeds;
    std::function<void(size_t)> ours;
    std::function<void(size_t)> floor;
};

Percentiles Measure(size_t runs, size_t seeds, const std::function<void(size_t)>& call) {
    for (size_t i = 0; i < std::min<size_t>(runs / 10 + 1, 50); ++i)
        call(i % seeds); // warm the caches as a running service has them
    std::vector<double> times;
    for (size_t i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        call(i % seeds);
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

// Reads rows by primary key with one prepared statement, every column.
class KeyFloor {
public:
    KeyFloor(const std::string& path, const char* sql)
        : floor_(path, sql) {}
    void Read(const std::vector<std::int64_t>& ids) {
        for (const std::int64_t id : ids) {
            sqlite3_bind_int64(floor_.Statement(), 1, id);
            benchmark::DoNotOptimize(floor_.Run());
        }
    }

private:
    Floor floor_;
};

std::vector<std::int64_t> TrackIds(Database& db, const std::vector<queries::Track>& rows) {
    std::vector<std::int64_t> ids;
    Statement& find = db.Prepare("SELECT id FROM tracks WHERE artist = ? AND title = ? LIMIT 1");
    for (const queries::Track& t : rows) {
        find.Reset().Bind(1, t.artist).Bind(2, t.title);
        if (find.Step())
            ids.push_back(find.Int(0));
    }
    return ids;
}

std::vector<std::int64_t> ArtistIds(Database& db, const std::vector<queries::Artist>& rows) {
    std::vector<std::int64_t> ids;
    Statement& find = db.Prepare("SELECT id FROM artists WHERE key = ?");
    for (const queries::Artist& a : rows) {
        find.Reset().Bind(1, similarity::Fold(a.name));
        if (find.Step())
            ids.push_back(find.Int(0));
    }
    return ids;
}

std::vector<Timed> TimedMethods(Database& db, std::vector<std::unique_ptr<KeyFloor>>& floors) {
    const std::string& path = catalogue->path;
    floors.push_back(
        std::make_unique<KeyFloor>(path, "SELECT title, artist FROM tracks WHERE id = ?"));
    KeyFloor* tracks = floors.back().get();
    floors.push_back(std::make_unique<KeyFloor>(path, "SELECT name FROM artists WHERE id = ?"));
    KeyFloor* artists = floors.back().get();
    floors.push_back(std::make_unique<KeyFloor>(
        path, "SELECT title, artist, extension, seconds FROM videos WHERE id = ?"));
    KeyFloor* videos = floors.back().get();

    const std::vector<std::string> words{"love night", "fire",      "summer rain", "heart",
                                         "city light", "blue moon", "dream",       "river road"};
    std::vector<std::string> tags;
    for (const char* genre : kGenres)
        tags.push_back(genre);
    for (const char* decade : {"50's", "60s", "70's", "80's", "90s", "00's"})
        tags.push_back(decade);
    const auto& seeds = catalogue->seeds;
    const queries::Window window{100, 0};

    std::vector<std::vector<std::int64_t>> searchIds, similarIds, topIds, artistIds, videoIds;
    for (const std::string& w : words) {
        searchIds.push_back(TrackIds(db, queries::SearchTracks(db, w, window).rows));
        std::vector<std::int64_t> ids;
        for (const auto& v : queries::SearchVideos(db, w, {50, 0}).rows)
            ids.push_back(v.id);
        videoIds.push_back(ids);
    }
    for (const auto& [artist, title] : seeds) {
        similarIds.push_back(TrackIds(db, queries::SimilarTracks(db, artist, title, window).rows));
        artistIds.push_back(ArtistIds(db, queries::SimilarArtists(db, artist, window).rows));
    }
    for (const std::string& tag : tags)
        topIds.push_back(ArtistIds(db, queries::TopArtists(db, tag, window).rows));

    auto service = std::make_shared<Service>(*pool);
    const auto music = [service](const std::string& query) {
        const Reply reply = service->Music(query);
        if (reply.status != 200)
            std::fprintf(stderr, "not answered: %s\n", query.c_str());
        benchmark::DoNotOptimize(reply.body.data());
    };
    return {
        {"track_search", words.size(),
         [=](size_t i) {
             music("method=track.search&limit=100&track=" + Escaped(words[i]) + "&page=1");
         },
         [=](size_t i) { tracks->Read(searchIds[i]); }},
        {"track_getsimilar", seeds.size(),
         [=](size_t i) {
             music("method=track.getSimilar&limit=100&artist=" + Escaped(seeds[i].first) +
                   "&track=" + Escaped(seeds[i].second));
         },
         [=](size_t i) { tracks->Read(similarIds[i]); }},
        {"tag_gettopartists", tags.size(),
         [=](size_t i) {
             music("method=tag.gettopartists&limit=100&tag=" + Escaped(tags[i]) + "&page=1");
         },
         [=](size_t i) { artists->Read(topIds[i]); }},
        {"artist_getsimilar", seeds.size(),
         [=](size_t i) {
             music("method=artist.getSimilar&limit=100&artist=" + Escaped(seeds[i].first));
         },
         [=](size_t i) { artists->Read(artistIds[i]); }},
        {"youtube_sources", words.size(),
         [=](size_t i) {
             const Reply reply =
                 service->Video("vq=" + Escaped(words[i]) + "&max-results=50&start-index=1",
                                "http://127.0.0.1:8098");
             benchmark::DoNotOptimize(reply.body.data());
         },
         [=](size_t i) { videos->Read(videoIds[i]); }},
    };
}

void PrintPercentiles(const std::string& name, const Percentiles& ours, const Percentiles& floor) {
    std::printf("%-22s ours p50 %8.1f us p99 %8.1f us | floor p50 %7.1f us p99 %7.1f us\n",
                name.c_str(), ours.p50 * 1e6, ours.p99 * 1e6, floor.p50 * 1e6, floor.p99 * 1e6);
    benchsupport::PrintRatio(name + "_p50_100k", ours.p50, floor.p50);
    benchsupport::PrintRatio(name + "_p99_100k", ours.p99, floor.p99);
}

// Before the similarity lists (plain SQL), then after; each against its floor.
void ReportPercentiles() {
    Database db(catalogue->path);
    std::vector<std::unique_ptr<KeyFloor>> floors;
    std::map<std::string, Percentiles> before;
    similarity::Invalidate(db);
    for (const Timed& method : TimedMethods(db, floors))
        if (method.name.find("similar") != std::string::npos || method.name == "tag_gettopartists")
            before[method.name] = Measure(100, method.seeds, method.ours);
    const auto start = Clock::now();
    similarity::Recompute(db);
    std::printf("similarity lists made in %.2f s\n",
                std::chrono::duration<double>(Clock::now() - start).count());
    floors.clear();
    for (const Timed& method : TimedMethods(db, floors)) {
        const Percentiles ours = Measure(1000, method.seeds, method.ours);
        const Percentiles floor = Measure(1000, method.seeds, method.floor);
        if (const auto found = before.find(method.name); found != before.end())
            PrintPercentiles(method.name + "_sql", found->second, floor);
        PrintPercentiles(method.name, ours, floor);
    }
}

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/kolvadeck-bench-catalog.XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path folder = pattern;
    Catalogue made = MakeCatalogue(folder);
    catalogue = &made;
    ConnectionPool connections(made.path);
    pool = &connections;
    scanFolder = folder;
    scanFiles = MakeScanFiles(folder);
    if (scanFiles.empty()) {
        std::fprintf(stderr, "could not make the scan files (sox, lame)\n");
        fs::remove_all(folder);
        return 1;
    }
    ReportPercentiles();
    RegisterMethods();
    benchmark::RegisterBenchmark("BM_Floor_first_scan", BM_Floor_first_scan)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_Ours_first_scan", BM_Ours_first_scan)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);

    benchmark::Initialize(&argc, argv);
    benchsupport::FastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const Method& method : Methods())
        benchsupport::PrintRatio(method.name + "_100k", reporter.seconds["BM_Ours_" + method.name],
                                 reporter.seconds["BM_Floor_" + method.name]);
    benchsupport::PrintRatio("first_scan_10k", reporter.seconds["BM_Ours_first_scan"],
                             reporter.seconds["BM_Floor_first_scan"]);
    benchmark::Shutdown();
    pool = nullptr;
    fs::remove_all(folder);
    return 0;
}
