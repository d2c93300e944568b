#include "convert/ConversionPipeline.h"

#include "convert/CommandLine.h"
#include "convert/ConvertLog.h"
#include "platform/Dialogs.h"
#include "platform/Guarded.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "search/MusicLibrary.h"
#include "search/SearchAddress.h"
#include "search/VideoPreview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>

namespace {
const QString kIdleStatus = QStringLiteral("Conversion");
const QString kSetUpStatus = QStringLiteral("Conversion running");
const QString kStreamingStatus = QStringLiteral("Streaming...");
const QString kConvertingStatus = QStringLiteral("Conversion running...");

void removeFile(const std::string& path) {
    std::remove(path.c_str());
}

QString text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The downloader's pieces of a cancelled download: the formats it fetches
// apart ("<file>.f137.mp4"), its partial and resume files ("<file>.part",
// "<file>.ytdl"), all named after its output file plus a dot.
void removeDownloadPieces(const std::string& output) {
    const QFileInfo named(text(output));
    const QDir folder = named.absoluteDir();
    const QString prefix = named.fileName() + QLatin1Char('.');
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        if (name.startsWith(prefix))
            QFile::remove(folder.filePath(name));
}
} // namespace

ConversionPipeline::ConversionPipeline(MusicLibrary* library, ToolState* tools, QWidget* form,
                                       std::string toolFolder)
    : QObject(form)
    , library_(library)
    , tools_(tools)
    , form_(form)
    , toolFolder_(toolFolder.empty() ? shell::programFolder() : std::move(toolFolder))
    , w_(buildConversionForm(library->widgets().previewbox))
    , progressTimer_(new QTimer(this))
    , run_(new ToolRun(*tools, this)) {
    progressTimer_->setInterval(1000);
    connect(progressTimer_, &QTimer::timeout, this, &ConversionPipeline::onProgressTick);
    pause_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, &ConversionPipeline::startConverter);
    connect(run_, &ToolRun::finished, this, &ConversionPipeline::toolFinished);
    connect(w_.convertButton, &QPushButton::clicked, this, &ConversionPipeline::startOrCancel);
    // Any tool that cannot be started puts these controls back to idle. The
    // state may outlive this controller or die before it (MainWindow owns both).
    tools_->OnLaunchFailure = [self = QPointer<ConversionPipeline>(this)] {
        if (self)
            self->setIdle();
    };
}

ConversionPipeline::~ConversionPipeline() {
    if (step_ == Step::Idle)
        return;
    delete run_; // ends a running tool first
    removeFile(intermediateFile(target_));
    removeFile(target_);
}

QString ConversionPipeline::status() const {
    return w_.convertgrp->title();
}

void ConversionPipeline::setStatus(const QString& text) {
    w_.convertgrp->setTitle(text);
    emit statusChanged(text);
}

void ConversionPipeline::setIdle() {
    w_.convertButton->setText(QString::fromLatin1(kConvertCaption));
    updateButton();
    progressTimer_->stop();
    setStatus(kIdleStatus);
}

void ConversionPipeline::setStep(Step step) {
    step_ = step;
    updateButton();
}

// "Convert Now" waits until the running conversion is over; "Cancel?" is
// there whenever its caption shows.
void ConversionPipeline::updateButton() {
    w_.convertButton->setEnabled(step_ == Step::Idle ||
                                 w_.convertButton->text() == QLatin1String(kCancelCaption));
}

std::optional<ConversionFormat> ConversionPipeline::checkedFormat() const {
    if (w_.mp3rb->isChecked())
        return ConversionFormat::MP3;
    if (w_.mp4rb->isChecked())
        return ConversionFormat::MP4;
    if (w_.flvrb->isChecked())
        return ConversionFormat::FLV;
    return std::nullopt;
}

void ConversionPipeline::startOrCancel() {
    setStatus(kIdleStatus);
    if (w_.convertButton->text() == QLatin1String(kCancelCaption))
        return cancel();
    if (step_ != Step::Idle)
        return; // the last conversion is still ending
    const auto video = library_->selectedVideo();
    const auto format = checkedFormat();
    if (!video || video->mobileAddress.empty() || !format)
        return;
    const FormatDialogSettings settings = dialogSettingsFor(*format);
    dialogs::Request request;
    request.kind = dialogs::Kind::SaveFile;
    request.fileName = request.filter = QString::fromLatin1(settings.pattern);
    request.defaultSuffix = QString::fromLatin1(settings.extension);
    dialogs::getSaveFileName(request, form_,
                             [self = QPointer<ConversionPipeline>(this), format = *format,
                              page = video->pageAddress](const QString& chosen) {
                                 if (self)
                                     self->targetChosen(chosen, format, page);
                             });
}

void ConversionPipeline::targetChosen(const QString& chosen, ConversionFormat format,
                                      const std::string& pageAddress) {
    if (chosen.isEmpty() || step_ != Step::Idle)
        return; // the user changed their mind: nothing to report
    conversionTarget_ = QFile::encodeName(chosen).toStdString();
    // A target or page address (the latter comes from the search service)
    // that the tools' designed parameter strings could not quote is refused
    // before anything runs, as it always was.
    if (!fitsBetweenQuotes(conversionTarget_) || !fitsBetweenQuotes(pageAddress)) {
        dialogs::showMessage(QStringLiteral("Conversion error!"), form_);
        return;
    }
    target_ = conversionTarget_;
    if (!shell::isExistingFile(target_))
        return convert(format, pageAddress);
    dialogs::askYesNo("File " + text(target_) + " exists! Overwrite?", form_,
                      [self = QPointer<ConversionPipeline>(this), format, pageAddress,
                       target = target_](bool yes) {
                          if (!self || self->step_ != Step::Idle)
                              return;
                          if (!yes) {
                              dialogs::showMessage(QStringLiteral("Conversion aborted!"),
                                                   self->form_);
                              return;
                          }
                          self->target_ = target;
                          removeFile(target);
                          self->convert(format, pageAddress);
                      });
}

void ConversionPipeline::convert(ConversionFormat format, const std::string& pageAddress) {
    converterArguments_ = converterArguments(format, target_);
    showPromotion();
    progressTimer_->start();
    w_.convertButton->setText(QString::fromLatin1(kCancelCaption));
    setStatus(kSetUpStatus);
    if (shell::isExistingFile(intermediateFile(target_)))
        removeFile(intermediateFile(target_));
    setStatus(kStreamingStatus);
    // A downloader that could not be started finishes once its message is
    // closed; the steps go on from there as after a download.
    setStep(Step::Downloading);
    startTool("yt", downloaderArguments(target_, pageAddress));
}

// Starts one step's tool; one that could not be started is reported, puts the
// controls back to idle and finishes once its message is closed.
void ConversionPipeline::startTool(const char* tool, const std::vector<std::string>& arguments) {
    run_->start(toolFolder_ + "/" + tool, arguments);
}

void ConversionPipeline::toolFinished() {
    switch (step_) {
    case Step::Downloading:
        return pause();
    case Step::Converting:
        return finish();
    case Step::Ending:
        return abort();
    case Step::Idle:
    case Step::Pausing:
        return;
    }
}

// A fixed pause by design between the download and the conversion.
void ConversionPipeline::pause() {
    setStep(Step::Pausing);
    pause_.start(downloadPause_);
}

void ConversionPipeline::startConverter() {
    if (shell::isExistingFile(intermediateFile(target_)))
        return converter();
    dialogs::showMessage(QStringLiteral("Connection error!"), form_,
                         [self = QPointer<ConversionPipeline>(this)] {
                             if (self)
                                 self->converter();
                         });
}

void ConversionPipeline::converter() {
    if (step_ != Step::Pausing)
        return; // cancelled while the message was open
    setStatus(kConvertingStatus);
    // A converter that could not be started finishes once its message is
    // closed, and the conversion with it.
    setStep(Step::Converting);
    startTool("mconv", converterArguments_);
}

void ConversionPipeline::finish() {
    setStep(Step::Idle);
    setIdle();
    if (shell::isExistingFile(intermediateFile(target_)))
        removeFile(intermediateFile(target_));
    dialogs::showMessage(shell::isExistingFile(target_) ? QStringLiteral("Conversion successfull!")
                                                        : QStringLiteral("Conversion error!"),
                         form_, finished());
}

// "Cancel?": the controls go idle at once; the conversion ends when its tool
// has (its process group is asked to end, then killed), or at once in the pause.
void ConversionPipeline::cancel() {
    setIdle();
    if (step_ == Step::Pausing) {
        pause_.stop();
        return abort();
    }
    if (step_ == Step::Downloading || step_ == Step::Converting) {
        setStep(Step::Ending);
        run_->end();
    }
}

// While the downloader runs the target does not exist yet and the status
// keeps reading "Streaming...".
void ConversionPipeline::onProgressTick() {
    if (!shell::isExistingFile(conversionTarget_))
        return;
    const long long kib = shell::fileSize64(conversionTarget_) / 1024;
    setStatus(kConvertingStatus + QString::number(kib) + QLatin1Char('k'));
}

// Whatever lies at the conversion's own paths was written by it: an existing
// target was deleted (after the user's Yes) before the tools started.
void ConversionPipeline::abort() {
    removeFile(intermediateFile(target_));
    removeDownloadPieces(intermediateFile(target_));
    removeFile(target_);
    setStep(Step::Idle);
    setIdle();
    dialogs::showMessage(QStringLiteral("Conversion aborted!"), form_, finished());
}

std::function<void()> ConversionPipeline::finished() {
    return [self = QPointer<ConversionPipeline>(this)] {
        if (self)
            emit self->conversionFinished();
    };
}

void ConversionPipeline::showPromotion() {
    try {
        VideoPreview* flash = library_->widgets().previewPlayer;
        flash->setFlashVars(
            QStringLiteral("&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true"));
        const std::string address = schemePrefix() + settings::siteHost() + "/ads/swf/";
        flash->loadPromotion(QString::fromStdString(address));
    } catch (...) {
        // The promotion is no part of the conversion.
        logCaughtException(lcConvert, "showing the promotion");
    }
}
