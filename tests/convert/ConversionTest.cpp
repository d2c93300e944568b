// The user's steps in the "Preview" box with the real yt and mconv fetching
// from a loopback search service.
#include "../search/AwaitAnswer.h"
#include "../search/LoopbackServer.h"
#include "LoopWatch.h"
#include "Media.h"
#include "convert/ConversionPipeline.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "search/MusicLibrary.h"
#include "search/VideoPreview.h"
#include "tests/support/TestApp.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <poll.h>
#include <sys/inotify.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <thread>

namespace fs = std::filesystem;

namespace {
const std::string kToolFolder = KV_BINARY_DIR "/app";

std::string videoAnswer(const std::string& pageAddress) {
    return "<?xml version='1.0' encoding='UTF-8'?><feed xmlns='http://www.w3.org/2005/Atom' "
           "xmlns:media='http://search.yahoo.com/mrss/'><entry><link rel='alternate' href='" +
           pageAddress +
           "'/><media:group><media:title>Test clip</media:title><media:content "
           "url='http://player.example/v/1' type='application/x-shockwave-flash'/><media:content "
           "url='rtsp://rtsp.example/1.3gp' type='video/3gpp'/></media:group></entry><entry><link "
           "href='http://video.example/2'/><media:group><media:title>Other</media:title>"
           "<media:content url='http://player.example/v/2' "
           "type='application/x-shockwave-flash'/><media:content url='rtsp://rtsp.example/2.3gp' "
           "type='video/3gpp'/></media:group></entry></feed>";
}

// The state of a stopped process ('T') from /proc; empty when it is gone.
std::string processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close == std::string::npos ? std::string() : line.substr(close + 2, 1);
}

bool processGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Stops a just-started tool's process group at its first write into `path`.
// The converters write their output in 32 KB pieces, so at that moment the
// tool still has work left, however fast the machine is. True when it stands
// stopped with bytes in its output.
bool stopAtFirstWrite(pid_t pid, const std::string& path) {
    const fs::path file(path);
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0 || ::inotify_add_watch(fd, file.parent_path().c_str(), IN_MODIFY) < 0)
        return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool written = shell::fileSize64(path) > 0;
    while (!written && std::chrono::steady_clock::now() < until) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(fd, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && file.filename() == event->name)
                written = true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(fd);
    if (!written || ::kill(-pid, SIGSTOP) != 0)
        return false;
    return QTest::qWaitFor([&] { return processState(pid) == "T"; }, 5000) &&
           shell::fileSize64(path) > 0;
}

class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_FALSE(testClip().empty()) << "ffmpeg could not make the test clip";
        folder_ = fs::path(testing::TempDir()) / ("conversion_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "data" / "queries");
        fs::create_directories(folder_ / "out");
        setenv("KOLVADECK_SEARCH_HOST", server_.host().c_str(), 1);
        // The promotional movie comes from here (and is not found: ignored).
        setenv("KOLVADECK_SITE_HOST", server_.host().c_str(), 1);
        servePageAddress(clipAddress());
        // Answered on a later turn of the loop, as a user closes a dialog.
        dialogs::setHandler([this](const dialogs::Request& r, const dialogs::Reply& reply) {
            ++unanswered_;
            QTimer::singleShot(0, page_.get(), [this, reply, answer = answer(r)] {
                --unanswered_;
                reply(answer);
            });
        });
        tools_.OnStarted = [this](pid_t pid) { started(pid); };
        page_ = std::make_unique<QWidget>();
        page_->resize(1013, 655);
        library_ = new MusicLibrary(page_.get(), (folder_ / "data").string() + "/", page_.get());
        conversion_ = new ConversionPipeline(library_, &tools_, page_.get(), kToolFolder);
        conversion_->setDownloadPause(std::chrono::milliseconds(0));
        QObject::connect(conversion_, &ConversionPipeline::statusChanged,
                         [this](const QString& text) { statuses_.push_back(text.toStdString()); });
        page_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
    }

    void TearDown() override {
        page_.reset();
        dialogs::setHandler({});
        unsetenv("KOLVADECK_SEARCH_HOST");
        unsetenv("KOLVADECK_SITE_HOST");
        fs::remove_all(folder_);
    }

    std::string clipAddress() const { return "http://" + server_.host() + "/media/clip.mp4"; }

    // The search answer's first video links to `address`; the clip is served.
    void servePageAddress(const std::string& address) {
        server_.clearRoutes();
        server_.serve("/media/clip.mp4", {200, "video/mp4", readFile(testClip()), {}});
        server_.serve("/api/video/", {200, "text/xml", videoAnswer(address), {}});
    }

    dialogs::Answer answer(const dialogs::Request& r) {
        if (r.kind == dialogs::Kind::SaveFile) {
            saveRequests_.push_back(r);
            return saveAs_.isEmpty() ? dialogs::Answer{} : dialogs::Answer{true, {saveAs_}};
        }
        if (r.kind == dialogs::Kind::Question) {
            questions_.push_back(r.text.toStdString());
            return {overwrite_, {}};
        }
        messages_.push_back(r.text.toStdString());
        if (onMessage_)
            onMessage_(messages_.back());
        return {true, {}};
    }

    void started(pid_t pid) {
        started_.push_back(pid);
        if (onStarted_)
            onStarted_(pid, started_.size());
    }

    // The user's steps: the video search, a double click on the first video
    // (the preview opens), the format, "Convert Now" and the save dialog.
    void convertFirstVideo(QRadioButton* format, const fs::path& target) {
        ASSERT_TRUE(
            awaitAnswer(*library_, [this] { library_->runQuery("youtube.sources", "test clip"); }));
        QTreeWidget* list = library_->widgets().resultsList;
        ASSERT_EQ(list->topLevelItemCount(), 2);
        const QPoint row = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
        ASSERT_TRUE(library_->widgets().previewbox->isVisible());
        format->setChecked(true);
        saveAs_ = QString::fromStdString(target.string());
        QSignalSpy finished(conversion_, &ConversionPipeline::conversionFinished);
        QTest::mouseClick(conversion_->widgets().convertButton, Qt::LeftButton);
        // The click returns at once with the save dialog open; the answers
        // and the tools' steps follow on the loop.
        EXPECT_EQ(unanswered_, 1);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !finished.isEmpty() || (unanswered_ == 0 && !conversion_->converting()); },
            120000));
        EXPECT_FALSE(conversion_->converting());
    }

    void expectIdle() const {
        EXPECT_EQ(conversion_->widgets().convertButton->text(), "Convert Now");
        EXPECT_EQ(conversion_->status(), "Conversion");
        EXPECT_FALSE(conversion_->progressTimer()->isActive());
    }

    bool sawSizeText() const {
        static const std::regex size(R"(Conversion running\.\.\.\d+k)");
        return std::any_of(statuses_.begin(), statuses_.end(),
                           [](const std::string& s) { return std::regex_match(s, size); });
    }

    // While mconv runs: wait for its output, hold the tool, let the progress
    // timer run, then let the tool go on.
    void showSizeWhileConverterRuns(const fs::path& target) {
        onStarted_ = [this, target](pid_t pid, size_t run) {
            if (run != 2)
                return;
            ASSERT_TRUE(stopAtFirstWrite(pid, target.string()));
            conversion_->onProgressTick();
            sizeTextWhileStopped_ = conversion_->status().toStdString();
            ::kill(-pid, SIGCONT);
        };
    }

    LoopbackServer server_;
    fs::path folder_;
    ToolState tools_;
    std::unique_ptr<QWidget> page_;
    MusicLibrary* library_ = nullptr;
    ConversionPipeline* conversion_ = nullptr;
    QString saveAs_;
    bool overwrite_ = true;
    int unanswered_ = 0; // dialogs open
    std::vector<dialogs::Request> saveRequests_;
    std::vector<std::string> questions_, messages_, statuses_;
    std::vector<pid_t> started_;
    std::function<void(pid_t, size_t)> onStarted_;
    std::function<void(const std::string&)> onMessage_;
    std::string sizeTextWhileStopped_;
};
} // namespace

TEST_F(ConversionTest, Mp3FromTheSelectedVideo) {
    const fs::path target = folder_ / "out" / "song.mp3";
    convertFirstVideo(conversion_->widgets().mp3rb, target);

    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion successfull!"});
    ASSERT_EQ(saveRequests_.size(), 1u);
    EXPECT_EQ(saveRequests_[0].filter, "*.mp3");
    EXPECT_EQ(saveRequests_[0].fileName, "*.mp3");
    EXPECT_EQ(saveRequests_[0].defaultSuffix, "mp3");
    EXPECT_EQ(conversion_->conversionTarget(), target.string());
    const auto streams = probe(target.string());
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, "mp3");
    EXPECT_EQ(streams[0].sampleRate, 44100);
    EXPECT_EQ(streams[0].channels, 2);
    EXPECT_FALSE(fs::exists(intermediateFile(target.string())));

    ASSERT_GE(statuses_.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(statuses_.begin(), statuses_.begin() + 3),
              (std::vector<std::string>{"Conversion", "Conversion running", "Streaming..."}));
    EXPECT_NE(std::find(statuses_.begin(), statuses_.end(), "Conversion running..."),
              statuses_.end());
    EXPECT_EQ(statuses_.back(), "Conversion");
    expectIdle();
    // The promotional movie played in the preview meanwhile.
    EXPECT_EQ(library_->widgets().previewPlayer->flashVars(),
              "&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true");
    EXPECT_EQ(library_->widgets().previewPlayer->source().toString().toStdString(),
              "http://" + server_.host() + "/ads/swf/");
    ASSERT_EQ(started_.size(), 2u);
    for (pid_t pid : started_)
        EXPECT_TRUE(processGone(pid));

    // The progress timer's arithmetic on the kept target.
    fs::resize_file(target, 524288);
    conversion_->onProgressTick();
    EXPECT_EQ(conversion_->status(), "Conversion running...512k");
    fs::resize_file(target, 1023);
    conversion_->onProgressTick();
    EXPECT_EQ(conversion_->status(), "Conversion running...0k");
    fs::remove(target);
    conversion_->onProgressTick();
    EXPECT_EQ(conversion_->status(), "Conversion running...0k");
}

TEST_F(ConversionTest, Mp4AndFlvAre320x240At10Frames) {
    // ffmpeg writes an MP4 in pieces (an MP3 or FLV this small in one write
    // at its end), so the converter is caught mid-way with output on disk.
    const fs::path mp4 = folder_ / "out" / "video.mp4";
    showSizeWhileConverterRuns(mp4);
    convertFirstVideo(conversion_->widgets().mp4rb, mp4);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion successfull!"});
    EXPECT_TRUE(
        std::regex_match(sizeTextWhileStopped_, std::regex(R"(Conversion running\.\.\.\d+k)")))
        << sizeTextWhileStopped_;
    EXPECT_TRUE(sawSizeText());
    onStarted_ = nullptr;
    EXPECT_EQ(saveRequests_.back().filter, "*.mp4");
    const auto mp4Video = streamOf(probe(mp4.string()), "video");
    EXPECT_EQ(mp4Video.width, 320);
    EXPECT_EQ(mp4Video.height, 240);
    EXPECT_EQ(mp4Video.frameRate, "10/1");
    EXPECT_EQ(streamOf(probe(mp4.string()), "audio").sampleRate, 44100);
    EXPECT_FALSE(fs::exists(intermediateFile(mp4.string())));

    // An FLV target named clip.flv goes through clip.flv.flv.
    messages_.clear();
    const fs::path flv = folder_ / "out" / "clip.flv";
    convertFirstVideo(conversion_->widgets().flvrb, flv);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion successfull!"});
    EXPECT_EQ(saveRequests_.back().defaultSuffix, "flv");
    const auto streams = probe(flv.string());
    EXPECT_EQ(streamOf(streams, "video").width, 320);
    EXPECT_EQ(streamOf(streams, "video").height, 240);
    EXPECT_EQ(streamOf(streams, "video").frameRate, "10/1");
    EXPECT_EQ(streamOf(streams, "audio").sampleRate, 22050);
    EXPECT_FALSE(fs::exists(folder_ / "out" / "clip.flv.flv"));
    EXPECT_EQ(fs::directory_iterator(folder_ / "out") == fs::directory_iterator{}, false);
    expectIdle();
}

TEST_F(ConversionTest, CancelDuringTheConverterEndsItAndLeavesNoFiles) {
    const fs::path target = folder_ / "out" / "cancelled.mp4";
    onStarted_ = [this, target](pid_t pid, size_t run) {
        if (run != 2)
            return;
        // Hold the converter mid-way, then click "Cancel?" as the user would.
        ASSERT_TRUE(stopAtFirstWrite(pid, target.string()));
        QTimer::singleShot(0, [this] {
            EXPECT_EQ(conversion_->widgets().convertButton->text(), "Cancel?");
            QTest::mouseClick(conversion_->widgets().convertButton, Qt::LeftButton);
        });
    };
    convertFirstVideo(conversion_->widgets().mp4rb, target);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion aborted!"});
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_TRUE(processGone(started_[1]));
    EXPECT_TRUE(fs::is_empty(folder_ / "out"));
    expectIdle();
}

TEST_F(ConversionTest, CancelDuringTheDownloadSkipsTheConverter) {
    const fs::path target = folder_ / "out" / "early.mp3";
    onStarted_ = [this, target](pid_t, size_t run) {
        if (run != 1)
            return;
        // What a downloader leaves mid-way: format pieces and partial files
        // named after its output; and a file of the user's beside them.
        for (const char* piece : {".flv.f137.mp4", ".flv.f140.m4a.part", ".flv.part", ".flv.ytdl"})
            std::ofstream(target.string() + piece) << "piece";
        std::ofstream(folder_ / "out" / "early.mp3.keep") << "mine";
        QTimer::singleShot(0, [this] { conversion_->startOrCancel(); });
    };
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion aborted!"});
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_TRUE(processGone(started_[0]));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_ / "out"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"early.mp3.keep"});
    expectIdle();
}

// The window's loop turns all along (the pause is a timer, the tools are
// watched, not waited for), and "Cancel?" in the pause skips the converter.
TEST_F(ConversionTest, CancelDuringThePauseSkipsTheConverterAndTheLoopNeverStops) {
    conversion_->setDownloadPause(std::chrono::milliseconds(5000));
    const fs::path target = folder_ / "out" / "paused.mp3";
    std::optional<LoopWatch> watch; // from the start of the tools
    onStarted_ = [&](pid_t pid, size_t run) {
        if (run != 1)
            return;
        watch.emplace();
        QTimer::singleShot(0, [this, pid, target] {
            // yt has ended and the pause runs: its download is there.
            ASSERT_TRUE(QTest::qWaitFor([&] { return processGone(pid); }, 60000));
            ASSERT_TRUE(conversion_->converting());
            EXPECT_EQ(conversion_->widgets().convertButton->text(), "Cancel?");
            EXPECT_TRUE(fs::exists(intermediateFile(target.string())));
            QTest::mouseClick(conversion_->widgets().convertButton, Qt::LeftButton);
        });
    };
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion aborted!"});
    EXPECT_EQ(started_.size(), 1u);
    EXPECT_TRUE(fs::is_empty(folder_ / "out"));
    expectIdle();
    // Loose: a sleep or a wait for a tool on the loop's thread lasts seconds.
    ASSERT_TRUE(watch);
    EXPECT_LT(watch->longestGapMs(), 1000);
    std::printf("longest gap of the loop during the conversion: %lld ms\n",
                static_cast<long long>(watch->longestGapMs()));
}

TEST_F(ConversionTest, MissingDownloaderShowsTheSystemsTextAndGoesIdle) {
    const fs::path tools = folder_ / "tools";
    fs::create_directories(tools);
    fs::create_symlink(kToolFolder + "/mconv", tools / "mconv");
    delete conversion_;
    conversion_ = new ConversionPipeline(library_, &tools_, page_.get(), tools.string());
    conversion_->setDownloadPause(std::chrono::milliseconds(0));
    // The controls when the user reads the message after the failed start.
    std::vector<std::string> controlsAtMessage;
    onMessage_ = [this, &controlsAtMessage](const std::string&) {
        controlsAtMessage.push_back(conversion_->widgets().convertButton->text().toStdString() +
                                    "|" + conversion_->status().toStdString() + "|" +
                                    (conversion_->progressTimer()->isActive() ? "on" : "off"));
    };
    const fs::path target = folder_ / "out" / "nothing.mp3";
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_EQ(messages_, (std::vector<std::string>{"No such file or directory", "Connection error!",
                                                   "Conversion error!"}));
    ASSERT_EQ(controlsAtMessage.size(), 3u);
    EXPECT_EQ(controlsAtMessage[1], "Convert Now|Conversion|off");
    EXPECT_FALSE(fs::exists(target));
    expectIdle();
}

TEST_F(ConversionTest, ExistingTargetIsKeptOnNoAndReplacedOnYes) {
    const fs::path target = folder_ / "out" / "old.mp3";
    std::ofstream(target) << "the user's old file";
    overwrite_ = false;
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_EQ(questions_,
              std::vector<std::string>{"File " + target.string() + " exists! Overwrite?"});
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion aborted!"});
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(readFile(target.string()), "the user's old file");
    expectIdle();

    // Yes: the old target and a left-over intermediate are gone before the
    // downloader starts.
    messages_.clear();
    overwrite_ = true;
    std::ofstream(intermediateFile(target.string())) << "left over";
    bool cleanAtStart = false;
    onStarted_ = [&](pid_t, size_t run) {
        if (run == 1)
            cleanAtStart = !fs::exists(target) && !fs::exists(intermediateFile(target.string()));
    };
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_TRUE(cleanAtStart);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion successfull!"});
    EXPECT_EQ(streamOf(probe(target.string()), "audio").codec, "mp3");
}

TEST_F(ConversionTest, HostilePageAddressesRunNothingAndReadNoLocalFile) {
    const fs::path marker = folder_ / "marker";
    const fs::path target = folder_ / "out" / "x.mp3";
    // A double quote would split into extra arguments: refused before any tool.
    servePageAddress(clipAddress() + "\" -o \"" + marker.string());
    convertFirstVideo(conversion_->widgets().mp3rb, target);
    EXPECT_EQ(messages_, std::vector<std::string>{"Conversion error!"});
    EXPECT_TRUE(started_.empty());
    expectIdle();

    // Options and local files reach yt as an address, which it refuses.
    for (const std::string& address :
         {"--exec=touch " + marker.string(), "file://" + testClip(), testClip()}) {
        messages_.clear();
        servePageAddress(address);
        convertFirstVideo(conversion_->widgets().mp3rb, target);
        EXPECT_EQ(messages_, (std::vector<std::string>{"Connection error!", "Conversion error!"}))
            << address;
    }
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(fs::is_empty(folder_ / "out"));
    for (const std::string& line : server_.requestLines())
        EXPECT_EQ(line.find("/media/"), std::string::npos) << line;
}

TEST_F(ConversionTest, NothingHappensWithoutAVideoRowOrAConfirmedDialog) {
    // No row selected.
    ASSERT_TRUE(
        awaitAnswer(*library_, [this] { library_->runQuery("youtube.sources", "test clip"); }));
    conversion_->startOrCancel();
    EXPECT_TRUE(saveRequests_.empty());

    // The dialog cancelled: nothing runs and nothing is reported.
    library_->widgets().resultsList->topLevelItem(0)->setSelected(true);
    saveAs_.clear();
    conversion_->startOrCancel();
    EXPECT_EQ(saveRequests_.size(), 1u);
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(started_.empty());
    expectIdle();
}

TEST(FileSize64Test, SizesBeyond32BitsAndMissingFiles) {
    const fs::path big = fs::path(testing::TempDir()) / ("sparse_" + std::to_string(getpid()));
    std::ofstream(big).close();
    fs::resize_file(big, 5368709120ull);
    EXPECT_EQ(shell::fileSize64(big.string()), 5368709120LL);
    fs::remove(big);
    EXPECT_EQ(shell::fileSize64(big.string()), -1);
}

TEST_F(ConversionTest, ControlsFitInThePreviewBoxBelowThePlayer) {
    const ConversionWidgets& w = conversion_->widgets();
    QGroupBox* box = library_->widgets().previewbox;
    EXPECT_EQ(box->size(), QSize(347, 341));
    EXPECT_TRUE(w.mp3rb->isChecked());
    EXPECT_EQ(w.convertgrp->title(), "Convert");
    EXPECT_EQ(w.convertButton->text(), "Convert Now");
    EXPECT_FALSE(conversion_->progressTimer()->isActive());
    EXPECT_EQ(conversion_->progressTimer()->interval(), 1000);
    const QRect player = library_->widgets().previewPlayer->geometry();
    std::vector<QWidget*> controls = {w.mp3rb, w.mp4rb, w.flvrb, w.convertButton, w.convertgrp};
    for (QWidget* control : controls) {
        EXPECT_TRUE(box->isAncestorOf(control));
        const QRect at(control->mapTo(box, QPoint(0, 0)), control->size());
        EXPECT_TRUE(box->rect().contains(at)) << control->objectName().toStdString();
        EXPECT_GE(at.top(), 276);
        EXPECT_FALSE(at.intersects(player));
    }
    // The captions are not cut off.
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(w.mp3rb), static_cast<QAbstractButton*>(w.mp4rb),
          static_cast<QAbstractButton*>(w.flvrb), static_cast<QAbstractButton*>(w.convertButton)})
        EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
    const int statusWidth =
        w.convertgrp->fontMetrics().horizontalAdvance("Conversion running...9999999k");
    EXPECT_LT(statusWidth, w.convertgrp->width() - 16);
    // The format buttons exclude each other.
    w.flvrb->click();
    EXPECT_FALSE(w.mp3rb->isChecked());
    EXPECT_FALSE(w.mp4rb->isChecked());
    if (qEnvironmentVariableIsSet("KV_GRAB")) {
        box->show();
        box->grab().save(qEnvironmentVariable("KV_GRAB"));
    }
}
