#include "broadcast/BroadcastController.h"

#include "broadcast/BroadcastLog.h"
#include "broadcast/OnAirSession.h"
#include "platform/BackgroundTask.h"
#include "platform/Dialogs.h"
#include "platform/Download.h"
#include "platform/Guarded.h"
#include "platform/JpegCodec.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <mutex>
#include <stdexcept>

namespace {

constexpr const char* kBroadcastNow = "Broadcast Now";
constexpr const char* kCancelBroadcasting = "Cancel broadcasting?";

// A picture decoded by its file name's extension: JPEG through the project's
// codec, other formats (PNG, bitmaps) through Qt's readers.
QImage loadPicture(const QString& path) {
    const QString lower = path.toLower();
    if (lower.endsWith(".jpg") || lower.endsWith(".jpeg"))
        return decodeJpeg(path);
    return QImage(path);
}

} // namespace

BroadcastController::BroadcastController(QWidget* tabSheet, std::string dataFolder, QWidget* form,
                                         BroadcastCallbacks callbacks)
    : QObject(form)
    , ConverterPath(shell::programFolder() + "/mconv")
    , form_(form)
    , dataFolder_(std::move(dataFolder))
    , callbacks_(std::move(callbacks))
    , w_(buildBroadcastForm(tabSheet))
    , onAir_(buildOnAirForm(tabSheet, 8, 436)) {
    loadOnAirForm(onAir_);
    connect(w_.loadBackgroundButton, &QPushButton::clicked, this,
            [this] { dialogs::runCommand([this] { loadBackground(); }, form_); });
    connect(w_.broadcastButton, &QPushButton::clicked, this,
            [this] { dialogs::runCommand([this] { startOrStop(); }, form_); });
}

BroadcastController::~BroadcastController() {
    if (relay_.broadcasting)
        stopBroadcast();
    audio_.reset();
}

AudioCapture& BroadcastController::audioCapture() {
    if (!audio_) {
        audio_ = std::make_unique<AudioCapture>();
        configureAudio();
    }
    return *audio_;
}

// audioCapture as the window's design sets it up, with the rate the converter is
// told: raw samples carry no rate, so capturing at the declared 22050 Hz keeps
// every tone at its own pitch.
void BroadcastController::configureAudio() {
    AudioCapture& a = *audio_;
    a.recorder().setBitsPerSample(SampleDepth::_16);
    a.recorder().setChannels(ChannelMode::Stereo);
    a.recorder().setSampleRate(kSampleRate);
    a.recorder().setTrigLevel(0);
    a.recorder().setTriggered(false);
    a.OnRecord = [this](CaptureRecorder& sender, char* lp, char* rp, std::uint16_t size) {
        relay_.relayBlock(sender, lp, rp, size);
    };
}

void BroadcastController::showPicture(const QImage& picture) {
    picture_ = picture;
    w_.streamingpreviewimage->setPixmap(QPixmap::fromImage(picture));
}

void BroadcastController::setStatus(const QString& text) {
    w_.streamingstatuslbl->setText(text);
}

void BroadcastController::attachDecks(audio::AudioEngine& engine,
                                      std::function<void()> skipToNext) {
    engine_ = &engine;
    skipToNext_ = std::move(skipToNext);
}

void BroadcastController::trackStarted(const QString& title) {
    title_ = title;
    if (session_)
        session_->setTitle(title.toStdString());
}

std::string BroadcastController::recordingPath() const {
    const QString folder = QString::fromStdString(dataFolder_) + QStringLiteral("recordings");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return (folder +
            QDateTime::currentDateTime().toString(QStringLiteral("/'show-'yyyyMMdd-HHmmss'.opus'")))
        .toStdString();
}

void BroadcastController::loadBackground() {
    backgroundDownload_.reset(); // the latest "Load" decides the picture
    const QString text = w_.streamingbackgroundurledit->text();
    const std::string t = text.toStdString();
    // The length is counted in characters, not in the bytes of their UTF-8.
    if (text.toUcs4().size() > 10 && t.compare(0, 7, "http://") == 0) {
        loadBackgroundFrom(t);
        return;
    }
    dialogs::Request request;
    request.kind = dialogs::Kind::OpenFiles;
    request.filter = QStringLiteral("*.jpg");
    request.fileName = QStringLiteral("*.jpg");
    request.defaultSuffix = QStringLiteral("png");
    const QStringList files = dialogs::getOpenFileNames(request, form_);
    if (files.isEmpty())
        return;
    w_.streamingbackgroundurledit->setText(files.front());
    const QImage picture = loadPicture(files.front());
    if (picture.isNull())
        throw std::runtime_error("Could not load the picture " + files.front().toStdString());
    showPicture(picture);
}

// Downloads and decodes on a worker; the preview changes when both are done.
// The download's own result is not looked at: a file left by an earlier one
// is shown when this one fails. A later "Load" cancels this one.
void BroadcastController::loadBackgroundFrom(const std::string& address) {
    const std::string file = dataFolder_ + "video_background.jpg";
    backgroundDownload_ =
        std::make_unique<BackgroundTask>([this, address, file](const std::atomic<bool>& cancelled) {
            // A cancelled download leaves before the next one writes the file.
            static std::mutex backgroundFile;
            std::lock_guard lock(backgroundFile);
            if (cancelled)
                return BackgroundTask::Completion();
            downloadToFile(address, file, 0, &cancelled);
            // Decoded as JPEG by its name; a failure keeps the previous picture.
            QImage picture =
                shell::isExistingFile(file) ? decodeJpeg(QString::fromStdString(file)) : QImage();
            // Moved, so that the picture is released on the window's thread only.
            return BackgroundTask::Completion([this, picture = std::move(picture)] {
                if (!picture.isNull())
                    showPicture(picture);
            });
        });
}

bool BroadcastController::loadingBackground() const {
    return backgroundDownload_ && backgroundDownload_->running();
}

void BroadcastController::startOrStop() {
    if (relay_.broadcasting)
        stopBroadcast();
    else
        startBroadcast();
}

std::string BroadcastController::converterParameters() const {
    return " -loop_input -re -i \"" + dataFolder_ + "video.jpg" +
           "\" -f s16le -ar 22050 -ab 96k -ac 2 -i \"tcp://127.0.0.1:8099/\" -deinterlace -s "
           "320x240 -r 10 -b 220k -qscale 6 -ar 22050 -ab 96k -f flv \"" +
           w_.streamingrtmpurledit->text().toStdString() + "/" +
           w_.streamingstreamedit->text().toStdString() + "\"";
}

void BroadcastController::startBroadcast() {
    relay_.broadcasting = true;
    relay_.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
    try {
        relay_.tcpServer.setActive(true);
    } catch (...) {
        setStatus(QStringLiteral("The relay could not start"));
        throw; // shown in the standard error box; the next click stops
    }
    if (engine_) {
        saveOnAirForm(onAir_);
        session_ = std::make_unique<OnAirSession>(
            *engine_,
            readOnAirForm(onAir_, onAir_.recordShow->isChecked() ? recordingPath() : std::string()),
            [this](const char* bytes, std::size_t size) { relay_.relayMix(bytes, size); });
        connect(session_.get(), &OnAirSession::statusChanged, this,
                &BroadcastController::setStatus);
        connect(session_.get(), &OnAirSession::deadAir, this, [this] {
            if (skipToNext_)
                skipToNext_();
        });
        session_->setTitle(title_.toStdString());
    } else {
        audioCapture().recorder().start(); // without a device the broadcast runs silent
    }
    try {
        if (!picture_.isNull() &&
            !encodeJpeg(picture_, QString::fromStdString(dataFolder_ + "video.jpg")))
            return;
        const std::string parameters = converterParameters();
        w_.broadcastButton->setText(QString::fromLatin1(kCancelBroadcasting));
        setStatus(session_ ? session_->statusText() : QStringLiteral("Broadcasting"));
        if (callbacks_.startTool &&
            !callbacks_.startTool(ConverterPath, parameters, [this] { converterEnded(); }))
            converterEnded();
    } catch (...) {
        logCaughtException(lcBroadcast, "starting the converter");
    }
}

// The broadcast stays on, capture and relay running, until the user stops it.
void BroadcastController::converterEnded() {
    if (relay_.broadcasting && w_.broadcastButton->text() == kCancelBroadcasting)
        setStatus(QStringLiteral("The converter has ended"));
}

void BroadcastController::stopBroadcast() {
    if (session_) {
        session_->stop();
        session_.reset();
    } else {
        audioCapture().recorder().stop();
    }
    relay_.tcpServer.setActive(false);
    relay_.ClientList.reset();
    relay_.broadcasting = false;
    w_.broadcastButton->setText(QString::fromLatin1(kBroadcastNow));
    setStatus(QStringLiteral("Broadcast stopped"));
    // The converter would otherwise stream video with no sound until it ends;
    // its process group is ended in the background.
    if (callbacks_.EndTool)
        callbacks_.EndTool();
}
