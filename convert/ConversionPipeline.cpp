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

void RemoveFile(const std::string& path) {
    std::remove(path.c_str());
}

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The downloader's pieces of a cancelled download: the formats it fetches
// apart ("<file>.f137.mp4"), its partial and resume files ("<file>.part",
// "<file>.ytdl"), all named after its output file plus a dot.
void RemoveDownloadPieces(const std::string& output) {
    const QFileInfo named(Text(output));
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
    , toolFolder_(toolFolder.empty() ? shell::ProgramFolder() : std::move(toolFolder))
    , w_(BuildConversionForm(library->Widgets().previewbox))
    , progressTimer_(new QTimer(this))
    , run_(new ToolRun(*tools, this)) {
    progressTimer_->setInterval(1000);
    connect(progressTimer_, &QTimer::timeout, this, &ConversionPipeline::onProgressTick);
    pause_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, &ConversionPipeline::StartConverter);
    connect(run_, &ToolRun::finished, this, &ConversionPipeline::ToolFinished);
    connect(w_.convertButton, &QPushButton::clicked, this, &ConversionPipeline::startOrCancel);
    // Any tool that cannot be started puts these controls back to idle. The
    // state may outlive this controller or die before it (MainWindow owns both).
    tools_->OnLaunchFailure = [self = QPointer<ConversionPipeline>(this)] {
        if (self)
            self->SetIdle();
    };
}

ConversionPipeline::~ConversionPipeline() {
    if (step_ == Step::Idle)
        return;
    delete run_; // ends a running tool first
    RemoveFile(IntermediateFile(target_));
    RemoveFile(target_);
}

QString ConversionPipeline::Status() const {
    return w_.convertgrp->title();
}

void ConversionPipeline::SetStatus(const QString& text) {
    w_.convertgrp->setTitle(text);
    emit statusChanged(text);
}

void ConversionPipeline::SetIdle() {
    w_.convertButton->setText(QString::fromLatin1(kConvertCaption));
    UpdateButton();
    progressTimer_->stop();
    SetStatus(kIdleStatus);
}

void ConversionPipeline::SetStep(Step step) {
    step_ = step;
    UpdateButton();
}

// "Convert Now" waits until the running conversion is over; "Cancel?" is
// there whenever its caption shows.
void ConversionPipeline::UpdateButton() {
    w_.convertButton->setEnabled(step_ == Step::Idle ||
                                 w_.convertButton->text() == QLatin1String(kCancelCaption));
}

std::optional<ConversionFormat> ConversionPipeline::CheckedFormat() const {
    if (w_.mp3rb->isChecked())
        return ConversionFormat::MP3;
    if (w_.mp4rb->isChecked())
        return ConversionFormat::MP4;
    if (w_.flvrb->isChecked())
        return ConversionFormat::FLV;
    return std::nullopt;
}

void ConversionPipeline::startOrCancel() {
    SetStatus(kIdleStatus);
    if (w_.convertButton->text() == QLatin1String(kCancelCaption))
        return Cancel();
    if (step_ != Step::Idle)
        return; // the last conversion is still ending
    const auto video = library_->SelectedVideo();
    const auto format = CheckedFormat();
    if (!video || video->mobileAddress.empty() || !format)
        return;
    const FormatDialogSettings settings = DialogSettingsFor(*format);
    dialogs::Request request;
    request.kind = dialogs::Kind::SaveFile;
    request.fileName = request.filter = QString::fromLatin1(settings.pattern);
    request.defaultSuffix = QString::fromLatin1(settings.extension);
    dialogs::GetSaveFileName(request, form_,
                             [self = QPointer<ConversionPipeline>(this), format = *format,
                              page = video->pageAddress](const QString& chosen) {
                                 if (self)
                                     self->TargetChosen(chosen, format, page);
                             });
}

void ConversionPipeline::TargetChosen(const QString& chosen, ConversionFormat format,
                                      const std::string& pageAddress) {
    if (chosen.isEmpty() || step_ != Step::Idle)
        return; // the user changed their mind: nothing to report
    conversionTarget_ = QFile::encodeName(chosen).toStdString();
    // A target or page address (the latter comes from the search service)
    // that the tools' designed parameter strings could not quote is refused
    // before anything runs, as it always was.
    if (!FitsBetweenQuotes(conversionTarget_) || !FitsBetweenQuotes(pageAddress)) {
        dialogs::ShowMessage(QStringLiteral("Conversion error!"), form_);
        return;
    }
    target_ = conversionTarget_;
    if (!shell::IsExistingFile(target_))
        return Convert(format, pageAddress);
    dialogs::AskYesNo("File " + Text(target_) + " exists! Overwrite?", form_,
                      [self = QPointer<ConversionPipeline>(this), format, pageAddress,
                       target = target_](bool yes) {
                          if (!self || self->step_ != Step::Idle)
                              return;
                          if (!yes) {
                              dialogs::ShowMessage(QStringLiteral("Conversion aborted!"),
                                                   self->form_);
                              return;
                          }
                          self->target_ = target;
                          RemoveFile(target);
                          self->Convert(format, pageAddress);
                      });
}

void ConversionPipeline::Convert(ConversionFormat format, const std::string& pageAddress) {
    converterArguments_ = ConverterArguments(format, target_);
    ShowPromotion();
    progressTimer_->start();
    w_.convertButton->setText(QString::fromLatin1(kCancelCaption));
    SetStatus(kSetUpStatus);
    if (shell::IsExistingFile(IntermediateFile(target_)))
        RemoveFile(IntermediateFile(target_));
    SetStatus(kStreamingStatus);
    // A downloader that could not be started finishes once its message is
    // closed; the steps go on from there as after a download.
    SetStep(Step::Downloading);
    StartTool("yt", DownloaderArguments(target_, pageAddress));
}

// Starts one step's tool; one that could not be started is reported, puts the
// controls back to idle and finishes once its message is closed.
void ConversionPipeline::StartTool(const char* tool, const std::vector<std::string>& arguments) {
    run_->Start(toolFolder_ + "/" + tool, arguments);
}

void ConversionPipeline::ToolFinished() {
    switch (step_) {
    case Step::Downloading:
        return Pause();
    case Step::Converting:
        return Finish();
    case Step::Ending:
        return Abort();
    case Step::Idle:
    case Step::Pausing:
        return;
    }
}

// A fixed pause by design between the download and the conversion.
void ConversionPipeline::Pause() {
    SetStep(Step::Pausing);
    pause_.start(downloadPause_);
}

void ConversionPipeline::StartConverter() {
    if (shell::IsExistingFile(IntermediateFile(target_)))
        return Converter();
    dialogs::ShowMessage(QStringLiteral("Connection error!"), form_,
                         [self = QPointer<ConversionPipeline>(this)] {
                             if (self)
                                 self->Converter();
                         });
}

void ConversionPipeline::Converter() {
    if (step_ != Step::Pausing)
        return; // cancelled while the message was open
    SetStatus(kConvertingStatus);
    // A converter that could not be started finishes once its message is
    // closed, and the conversion with it.
    SetStep(Step::Converting);
    StartTool("mconv", converterArguments_);
}

void ConversionPipeline::Finish() {
    SetStep(Step::Idle);
    SetIdle();
    if (shell::IsExistingFile(IntermediateFile(target_)))
        RemoveFile(IntermediateFile(target_));
    dialogs::ShowMessage(shell::IsExistingFile(target_) ? QStringLiteral("Conversion successfull!")
                                                        : QStringLiteral("Conversion error!"),
                         form_, Finished());
}

// "Cancel?": the controls go idle at once; the conversion ends when its tool
// has (its process group is asked to end, then killed), or at once in the pause.
void ConversionPipeline::Cancel() {
    SetIdle();
    if (step_ == Step::Pausing) {
        pause_.stop();
        return Abort();
    }
    if (step_ == Step::Downloading || step_ == Step::Converting) {
        SetStep(Step::Ending);
        run_->End();
    }
}

// While the downloader runs the target does not exist yet and the status
// keeps reading "Streaming...".
void ConversionPipeline::onProgressTick() {
    if (!shell::IsExistingFile(conversionTarget_))
        return;
    const long long kib = shell::FileSize64(conversionTarget_) / 1024;
    SetStatus(kConvertingStatus + QString::number(kib) + QLatin1Char('k'));
}

// Whatever lies at the conversion's own paths was written by it: an existing
// target was deleted (after the user's Yes) before the tools started.
void ConversionPipeline::Abort() {
    RemoveFile(IntermediateFile(target_));
    RemoveDownloadPieces(IntermediateFile(target_));
    RemoveFile(target_);
    SetStep(Step::Idle);
    SetIdle();
    dialogs::ShowMessage(QStringLiteral("Conversion aborted!"), form_, Finished());
}

std::function<void()> ConversionPipeline::Finished() {
    return [self = QPointer<ConversionPipeline>(this)] {
        if (self)
            emit self->conversionFinished();
    };
}

void ConversionPipeline::ShowPromotion() {
    try {
        VideoPreview* flash = library_->Widgets().previewPlayer;
        flash->SetFlashVars(
            QStringLiteral("&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true"));
        const std::string address = SchemePrefix() + settings::SiteHost() + "/ads/swf/";
        flash->LoadPromotion(QString::fromStdString(address));
    } catch (...) {
        // The promotion is no part of the conversion.
        LogCaughtException(lcConvert, "showing the promotion");
    }
}
