// Search speed: reading a 100-track answer into the results list against
// parsing the same file with pugixml alone, and one whole search (download,
// parse, list) from a loopback server against a bare libcurl download of the
// same answer.
#include "bench/BenchSupport.h"
#include "search/MusicLibrary.h"
#include "search/ResultReaders.h"
#include "search/ResultsList.h"

// The tests' loopback HTTP server, compiled into this program as well.
#include "../tests/search/LoopbackServer.cpp"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

namespace {
std::string g_answerFile;
std::string g_dataFolder;
std::unique_ptr<LoopbackServer> g_server;

std::string hundredTrackAnswer() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"ok\">\n"
                      "  <results for=\"love\" "
                      "xmlns:opensearch=\"http://music.example/ns/paging\">\n"
                      "    <opensearch:totalResults>100</opensearch:totalResults>\n"
                      "    <trackmatches>\n";
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        xml += "      <track>\n        <name>Love Song " + n + "</name>\n        <artist>Artist " +
               n + "</artist>\n        <url>http://music.example/Artist+" + n +
               "/_/Love+Song</url>\n        <streamable fulltrack=\"0\">0</streamable>\n"
               "        <listeners>" +
               n +
               "000</listeners>\n        <image size=\"small\">"
               "http://music.example/i/" +
               n + ".png</image>\n      </track>\n";
    }
    return xml + "    </trackmatches>\n  </results>\n</lfm>\n";
}

void BM_FloorParse(benchmark::State& state) {
    for (auto _ : state) {
        pugi::xml_document document;
        benchmark::DoNotOptimize(document.load_file(g_answerFile.c_str()));
    }
}

void BM_ReadTrackSearch(benchmark::State& state) {
    QTreeWidget list;
    pugi::xml_document document;
    for (auto _ : state) {
        list.clear();
        SearchResults results;
        loadAnswer(g_answerFile, document);
        readAnswer("track.search", document, results);
        showResultRows(&list, results);
        benchmark::DoNotOptimize(list.topLevelItemCount());
    }
}

size_t writeToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

void BM_FloorCurl(benchmark::State& state) {
    const std::string address = "http://" + g_server->host() +
                                "/api/music/?method=track.search&limit=100&track=love&page=1";
    const std::string file = g_dataFolder + "floor.xml";
    for (auto _ : state) {
        FILE* out = std::fopen(file.c_str(), "wb");
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
        // Without this a default transfer is several times slower here.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
        benchmark::DoNotOptimize(curl_easy_perform(curl));
        curl_easy_cleanup(curl);
        std::fclose(out);
    }
}

void BM_RunQuery(benchmark::State& state) {
    QWidget page;
    MusicLibrary library(&page, g_dataFolder, &page);
    // A search answers on a worker: each iteration turns the event loop
    // until the answer is shown, as the window would.
    QEventLoop loop;
    QObject::connect(&library, &MusicLibrary::answerShown, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        library.runQuery("track.search", "love");
        loop.exec();
        benchmark::DoNotOptimize(library.results().captions.size());
    }
}

BENCHMARK(BM_FloorParse)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_ReadTrackSearch)->Unit(benchmark::kMicrosecond)->Repetitions(5);
// Process CPU time: the search's download and reading run on a worker, and the
// loopback server's threads serve both.
BENCHMARK(BM_FloorCurl)->Unit(benchmark::kMicrosecond)->Repetitions(5)->MeasureProcessCPUTime();
BENCHMARK(BM_RunQuery)->Unit(benchmark::kMicrosecond)->Repetitions(5)->MeasureProcessCPUTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkdir("queries"))
        return 1;
    g_dataFolder = dir.path().toStdString() + "/";
    g_answerFile = g_dataFolder + "answer.xml";
    const std::string answer = hundredTrackAnswer();
    std::ofstream(g_answerFile) << answer;
    g_server = std::make_unique<LoopbackServer>();
    g_server->serve("/api/music/", {200, "text/xml", answer, {}});
    setenv("KOLVADECK_SEARCH_HOST", g_server->host().c_str(), 1);

    benchmark::Initialize(&argc, argv);
    // The fastest of several runs each: the least disturbed by other work.
    benchsupport::RunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n"); // the console reporter leaves a colour reset on the last line
    benchsupport::printRatio("read_track_search_100", reporter.seconds["BM_ReadTrackSearch"],
                             reporter.seconds["BM_FloorParse"]);
    benchsupport::printRatio("runquery_loopback", reporter.seconds["BM_RunQuery"],
                             reporter.seconds["BM_FloorCurl"]);
    // Wall time of a loopback transfer mostly waits on the scheduler; the
    // process's CPU time is the steadier comparison on a busy machine.
    benchsupport::printRatio("read_track_search_100_cpu", reporter.cpuSeconds["BM_ReadTrackSearch"],
                             reporter.cpuSeconds["BM_FloorParse"]);
    benchsupport::printRatio("runquery_loopback_cpu", reporter.cpuSeconds["BM_RunQuery"],
                             reporter.cpuSeconds["BM_FloorCurl"]);
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
