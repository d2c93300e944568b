#include "RelayClient.h"
#include "broadcast/BroadcastController.h"
#include "broadcast/OnAirSession.h"
#include "broadcast/ToolCallbacks.h"
#include "convert/ToolState.h"
#include "platform/Dialogs.h"
#include "platform/JpegCodec.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/VirtualSoundCard.h"
#include "platform/capture/VirtualInput.h"
#include "platform/mixer/Mixer.h"
#include "platform/mixer/VirtualMixer.h"
#include "tests/decks/ToneFiles.h"
#include "tests/search/LoopbackServer.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace {

QByteArray jpegBytes(int width, int height, QColor color, const QString& path) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    EXPECT_TRUE(encodeJpeg(image, path));
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Gone, or a zombie left for the system's init to reap.
bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && line.compare(close + 2, 1, "Z") == 0;
}

class BroadcastTab : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        audio::virtual_input::resetState();
        dataFolder_ = dir_.path().toStdString() + "/";
        dialogs::setHandler([this](const dialogs::Request& r, const dialogs::Reply& reply) {
            requests_.push_back(r);
            dialogs::Answer a;
            a.accepted = !answerFiles_.isEmpty();
            a.files = answerFiles_;
            reply(a);
        });
        BroadcastCallbacks callbacks;
        callbacks.startTool = [this](const std::string& program, const std::string& parameters,
                                     std::function<void()> ended) {
            runs_.push_back({program, parameters});
            converterEnds_ = std::move(ended);
            return true;
        };
        callbacks.EndTool = [this] { ++endTools_; };
        form_ = std::make_unique<QWidget>();
        tab_ = std::make_unique<QWidget>();
        controller_ =
            std::make_unique<BroadcastController>(tab_.get(), dataFolder_, form_.get(), callbacks);
    }
    void TearDown() override {
        controller_.reset();
        dialogs::setHandler({});
        EXPECT_TRUE(relayPortRefuses());
    }
    const BroadcastWidgets& W() { return controller_->widgets(); }
    // The controller on the window's real tool runner, with `script` as mconv.
    void useRealRunner(const std::string& script) {
        const std::string path = dataFolder_ + "mconv";
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        tools_.OnStarted = [this](pid_t pid) { converter_ = pid; };
        controller_ = std::make_unique<BroadcastController>(tab_.get(), dataFolder_, form_.get(),
                                                            toolRunnerCallbacks(tools_));
        controller_->ConverterPath = path;
    }
    int dialogsOf(dialogs::Kind kind) {
        int n = 0;
        for (const auto& r : requests_)
            n += r.kind == kind;
        return n;
    }

    QTemporaryDir dir_;
    std::string dataFolder_;
    ToolState tools_; // outlives the controller
    pid_t converter_ = 0;
    std::unique_ptr<QWidget> form_, tab_; // made once the QApplication exists
    std::unique_ptr<BroadcastController> controller_;
    std::vector<dialogs::Request> requests_;
    QStringList answerFiles_;
    std::vector<std::pair<std::string, std::string>> runs_;
    std::function<void()> converterEnds_; // what the converter's own end calls
    int endTools_ = 0;
};

TEST_F(BroadcastTab, DesignValues) {
    EXPECT_EQ(W().broadcastButton->text(), "Broadcast Now");
    EXPECT_EQ(W().loadBackgroundButton->text(), "Load");
    EXPECT_EQ(W().streamingbackgroundurledit->text(), "http://");
    EXPECT_EQ(W().streamingpreviewurledit->text(), "http://");
    EXPECT_TRUE(W().streamingstreamedit->text().isEmpty());
    EXPECT_TRUE(W().streamingrtmpurledit->text().startsWith("rtmp://"));
    EXPECT_TRUE(W().streamingrtmpurledit->text().endsWith("/live"));
    EXPECT_EQ(W().streamingpreviewimage->size(), QSize(320, 240));
    CaptureRecorder& r = controller_->audioCapture().recorder();
    EXPECT_EQ(r.BufferSize, 32768);
    EXPECT_EQ(r.Format.rate, 22050);
    EXPECT_EQ(r.Format.channels, 2);
    EXPECT_FALSE(r.triggered());
    EXPECT_EQ(r.trigLevel(), 0);
    EXPECT_FALSE(r.splitChannels());
}

TEST_F(BroadcastTab, ConverterParametersAsWritten) {
    W().streamingrtmpurledit->setText("rtmp://127.0.0.1/live");
    W().streamingstreamedit->setText("deck one");
    EXPECT_EQ(controller_->converterParameters(),
              " -loop_input -re -i \"" + dataFolder_ +
                  "video.jpg\" -f s16le -ar 22050 -ab 96k -ac 2 -i \"tcp://127.0.0.1:8099/\" "
                  "-deinterlace -s 320x240 -r 10 -b 220k -qscale 6 -ar 22050 -ab 96k -f flv "
                  "\"rtmp://127.0.0.1/live/deck one\"");
    W().streamingstreamedit->setText("");
    EXPECT_TRUE(controller_->converterParameters().ends_with(" -f flv \"rtmp://127.0.0.1/live/\""));
    W().streamingrtmpurledit->setText("rtmp://h/live/");
    W().streamingstreamedit->setText("s");
    EXPECT_TRUE(controller_->converterParameters().ends_with("\"rtmp://h/live//s\""));
}

TEST_F(BroadcastTab, LoadOpensTheFileDialogUnlessAnAddressIsLongEnough) {
    for (const char* text :
         {"http://", "http://abc", "HTTP://host/pic.jpg", "https://host/x.jpg", "/home/pic.jpg"}) {
        requests_.clear();
        W().streamingbackgroundurledit->setText(text);
        controller_->loadBackground();
        ASSERT_EQ(requests_.size(), 1u) << text;
        EXPECT_EQ(requests_[0].kind, dialogs::Kind::OpenFiles);
        EXPECT_EQ(requests_[0].filter, "*.jpg");
        EXPECT_EQ(requests_[0].fileName, "*.jpg");
        EXPECT_EQ(requests_[0].defaultSuffix, "png");
        EXPECT_EQ(W().streamingbackgroundurledit->text(), text); // cancelled: unchanged
    }
}

// Ten characters are ten whatever their letters: typed addresses whose UTF-8
// (or UTF-16) takes more bytes still open the dialog.
TEST_F(BroadcastTab, LoadCountsCharactersNotBytes) {
    for (const QString& text :
         {QStringLiteral("http://\u00e4\u00f6\u00fc"), QStringLiteral("http://\u65e5\u672c\u8a9e"),
          QString::fromUtf8("http://a\xF0\x9F\x98\x80"
                            "b")}) {
        requests_.clear();
        W().streamingbackgroundurledit->clear();
        // Typed one character at a time, as a keyboard layout delivers them.
        for (const char32_t letter : text.toUcs4()) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                          QString::fromUcs4(&letter, 1));
            QApplication::sendEvent(W().streamingbackgroundurledit, &key);
        }
        ASSERT_EQ(W().streamingbackgroundurledit->text(), text);
        W().loadBackgroundButton->click();
        ASSERT_EQ(requests_.size(), 1u) << text.toStdString();
        EXPECT_EQ(requests_[0].kind, dialogs::Kind::OpenFiles);
        EXPECT_FALSE(controller_->loadingBackground());
    }
}

TEST_F(BroadcastTab, LoadDownloadsAWebAddressAndKeepsAnEarlierPictureOnFailure) {
    LoopbackServer server;
    const QString sample = dir_.path() + "/sample.jpg";
    LoopbackServer::Response picture;
    picture.contentType = "image/jpeg";
    picture.body = jpegBytes(200, 100, Qt::red, sample).toStdString();
    server.serve("/bg.jpg", picture);
    // 11 characters and more: downloaded.
    W().streamingbackgroundurledit->setText(
        QString::fromStdString("http://" + server.host() + "/bg.jpg"));
    controller_->loadBackground();
    EXPECT_TRUE(controller_->loadingBackground()); // the click returns before the download ends
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller_->loadingBackground(); }, 10000));
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(server.lastRequestLine(), "GET /bg.jpg HTTP/1.1");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dataFolder_ + "video_background.jpg")));
    EXPECT_EQ(controller_->picture().size(), QSize(200, 100));
    EXPECT_EQ(W().streamingpreviewimage->pixmap().size(), QSize(200, 100));

    // A failed download: the file of the earlier one is loaded again.
    W().streamingbackgroundurledit->setText(
        QString::fromStdString("http://" + server.host() + "/missing.jpg"));
    controller_->loadBackground();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller_->loadingBackground(); }, 10000));
    EXPECT_EQ(controller_->picture().size(), QSize(200, 100));
    EXPECT_TRUE(requests_.empty());
}

TEST_F(BroadcastTab, LoadFromTheDialogAndAPictureThatCannotBeRead) {
    const QString jpg = dir_.path() + "/chosen.jpg";
    jpegBytes(64, 48, Qt::blue, jpg);
    answerFiles_ = {jpg};
    W().loadBackgroundButton->click();
    EXPECT_EQ(W().streamingbackgroundurledit->text(), jpg);
    EXPECT_EQ(controller_->picture().size(), QSize(64, 48));

    const QString broken = dir_.path() + "/broken.jpg";
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    answerFiles_ = {broken};
    requests_.clear();
    W().loadBackgroundButton->click(); // through the command guard, as a user click
    ASSERT_EQ(dialogsOf(dialogs::Kind::Error), 1);
    EXPECT_EQ(controller_->picture().size(), QSize(64, 48)); // the previous picture stays
}

TEST_F(BroadcastTab, BroadcastNowStartsTheConverterAndTheSecondClickStops) {
    const QString jpg = dir_.path() + "/bg.jpg";
    jpegBytes(320, 240, Qt::green, jpg);
    answerFiles_ = {jpg};
    controller_->loadBackground();
    W().streamingrtmpurledit->setText("rtmp://127.0.0.1/live");
    W().streamingstreamedit->setText("test");
    W().broadcastButton->click(); // returns with the converter started
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_TRUE(runs_[0].first.ends_with("/mconv"));
    EXPECT_EQ(runs_[0].second, controller_->converterParameters());
    // While the converter runs: relay listening, recorder open, picture written.
    EXPECT_EQ(W().broadcastButton->text(), "Cancel broadcasting?");
    EXPECT_EQ(W().streamingstatuslbl->text(), "Broadcasting");
    EXPECT_TRUE(controller_->broadcasting());
    EXPECT_TRUE(controller_->audioCapture().recorder().isOpen);
    EXPECT_FALSE(relayPortRefuses());
    const QImage written = decodeJpeg(QString::fromStdString(dataFolder_ + "video.jpg"));
    EXPECT_EQ(written.size(), QSize(320, 240));

    W().broadcastButton->click();
    EXPECT_EQ(endTools_, 1);
    EXPECT_FALSE(controller_->broadcasting());
    EXPECT_EQ(W().broadcastButton->text(), "Broadcast Now");
    EXPECT_EQ(W().streamingstatuslbl->text(), "Broadcast stopped");
    EXPECT_FALSE(controller_->audioCapture().recorder().isOpen);
    EXPECT_EQ(controller_->relay().ClientList, nullptr);
    EXPECT_TRUE(relayPortRefuses());
    EXPECT_EQ(dialogsOf(dialogs::Kind::Error), 0);
}

TEST_F(BroadcastTab, WithNoPictureNothingIsWrittenButTheConverterRuns) {
    W().broadcastButton->click();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dataFolder_ + "video.jpg")));
    // The converter ends by itself: the broadcast stays on until stopped.
    ASSERT_TRUE(converterEnds_);
    converterEnds_();
    EXPECT_TRUE(controller_->broadcasting());
    EXPECT_TRUE(controller_->audioCapture().recorder().isOpen);
    EXPECT_FALSE(relayPortRefuses());
    EXPECT_EQ(W().broadcastButton->text(), "Cancel broadcasting?");
    EXPECT_EQ(W().streamingstatuslbl->text(), "The converter has ended");
    W().broadcastButton->click();
    EXPECT_FALSE(controller_->broadcasting());
}

// Start returns while the converter runs; a stop ends the converter's whole
// process group and nothing of the ending is shown.
TEST_F(BroadcastTab, StopRightAfterStartEndsTheConvertersProcessGroup) {
    const std::string childFile = dataFolder_ + "child.pid";
    useRealRunner("sleep 30 & echo $! > '" + childFile + "'; wait");
    W().broadcastButton->click();
    ASSERT_GT(converter_, 0);
    EXPECT_FALSE(processGone(converter_));
    EXPECT_EQ(W().broadcastButton->text(), "Cancel broadcasting?");
    pid_t child = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(std::ifstream(childFile) >> child); }, 5000));
    W().broadcastButton->click();
    EXPECT_FALSE(controller_->broadcasting());
    EXPECT_FALSE(controller_->audioCapture().recorder().isOpen);
    EXPECT_EQ(controller_->relay().ClientList, nullptr);
    EXPECT_TRUE(relayPortRefuses());
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(converter_); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(child); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(W().broadcastButton->text(), "Broadcast Now");
    EXPECT_EQ(W().streamingstatuslbl->text(), "Broadcast stopped");

    // A converter that ends by itself leaves the broadcast on.
    useRealRunner("exit 0");
    W().broadcastButton->click();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return W().streamingstatuslbl->text() == "The converter has ended"; }, 5000));
    EXPECT_TRUE(controller_->broadcasting());
    EXPECT_FALSE(relayPortRefuses());
    EXPECT_EQ(W().broadcastButton->text(), "Cancel broadcasting?");
    W().broadcastButton->click();
    EXPECT_FALSE(controller_->broadcasting());

    // One that cannot start: the system's words, and the same state.
    controller_->ConverterPath = dataFolder_ + "missing";
    W().broadcastButton->click();
    ASSERT_FALSE(requests_.empty());
    EXPECT_EQ(requests_.back().text, "No such file or directory");
    EXPECT_EQ(W().streamingstatuslbl->text(), "The converter has ended");
    EXPECT_TRUE(controller_->broadcasting());
    W().broadcastButton->click();
    EXPECT_FALSE(controller_->broadcasting());
}

TEST_F(BroadcastTab, ATakenRelayPortShowsTheErrorAndTheNextClickStops) {
    net::Socket other = net::listen("127.0.0.1", 8099);
    W().broadcastButton->click();
    ASSERT_EQ(dialogsOf(dialogs::Kind::Error), 1);
    EXPECT_EQ(requests_.back().text, "Could not bind socket. Address already in use.");
    EXPECT_TRUE(runs_.empty());
    EXPECT_FALSE(controller_->audioCapture().recorder().isOpen);
    EXPECT_EQ(W().broadcastButton->text(), "Broadcast Now");
    EXPECT_TRUE(controller_->broadcasting());
    W().broadcastButton->click(); // stops
    EXPECT_FALSE(controller_->broadcasting());
    EXPECT_EQ(dialogsOf(dialogs::Kind::Error), 1);
    other.close();
}

TEST_F(BroadcastTab, ARelayClientReceivesTheRecordedSound) {
    audio::virtual_input::setTone(1000, 0.5);
    W().broadcastButton->click();
    RelayClient client;
    ASSERT_TRUE(waitUntil([&] { return controller_->relay().clientCount() == 1; }));
    for (int i = 0; i < 3; ++i) {
        audio::virtual_input::advance(8192);
        QCoreApplication::sendPostedEvents();
    }
    ASSERT_TRUE(client.waitForBytes(32768 * 2));
    W().broadcastButton->click();
    EXPECT_TRUE(client.waitForEnd());
    EXPECT_FALSE(controller_->broadcasting());
}

// With the decks attached, the relay carries the decks' own mix (not the
// sound input) in its designed format: 16-bit stereo at 22050 Hz.
TEST_F(BroadcastTab, WithTheDecksAttachedTheRelayCarriesTheirMixAtHalfRate) {
    audio::VirtualSoundCard card;
    audio::DeckPlayer deck(card);
    int skips = 0;
    controller_->attachDecks(card, [&] { ++skips; });
    controller_->onAirForm().recordShow->setChecked(false);
    audio::virtual_input::setTone(3000, 0.5); // the microphone: on air too
    deck.open(tonefiles::mp3({.frequency = 440, .seconds = 20, .amplitude = 0.4}));
    deck.play();
    controller_->trackStarted("Artist - Title");
    W().broadcastButton->click();
    ASSERT_NE(controller_->session(), nullptr);
    RelayClient client;
    bool enough = false;
    for (int i = 0; i < 2000 && !enough; ++i) { // the session's clock is real
        card.render(10);
        audio::virtual_input::advance(441);
        QThread::msleep(10);
        QCoreApplication::processEvents();
        enough = client.bytes().size() >= 3 * 32768;
    }
    ASSERT_TRUE(enough);
    const std::vector<char> bytes = client.bytes();
    std::vector<float> left;
    for (std::size_t at = bytes.size() - 32768; at + 4 <= bytes.size(); at += 4)
        left.push_back(float(std::int16_t(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8)) / 32768);
    EXPECT_NEAR(measure::goertzel(left, 22050, 440), 0.4 * std::pow(10, -12 / 20.0), 0.03)
        << "the decks, ducked under the microphone";
    EXPECT_GT(measure::goertzel(left, 22050, 3000), 0.3) << "the microphone";
    EXPECT_EQ(W().streamingstatuslbl->text(), "Broadcasting");
    W().broadcastButton->click();
    EXPECT_EQ(controller_->session(), nullptr);
    EXPECT_TRUE(client.waitForEnd());
    EXPECT_EQ(skips, 0);
}

} // namespace
