#include "convert/ConversionPipeline.h"

#include "convert/CommandLine.h"
#include "platform/Dialogs.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "search/MusicLibrary.h"
#include "search/SearchAddress.h"
#include "search/ShockwaveEx.h"

#include <QFile>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <thread>

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
} // namespace

TConversion::TConversion(TMusicLibrary* library, ToolState* tools, QWidget* form,
                         std::string toolFolder)
    : QObject(form)
    , library_(library)
    , tools_(tools)
    , form_(form)
    , toolFolder_(toolFolder.empty() ? shell::ProgramFolder() : std::move(toolFolder))
    , w_(BuildConversionForm(library->Widgets().previewbox))
    , timer3_(new QTimer(this)) {
    timer3_->setInterval(1000);
    connect(timer3_, &QTimer::timeout, this, &TConversion::Timer3Timer);
    connect(w_.Button8, &QPushButton::clicked, this, &TConversion::Button8Click);
    // Any tool that cannot be started puts these controls back to idle. The
    // state may outlive this controller or die before it (TForm1 owns both).
    tools_->OnLaunchFailure = [self = QPointer<TConversion>(this)] {
        if (self)
            self->SetIdle();
    };
}

QString TConversion::Status() const {
    return w_.convertgrp->title();
}

void TConversion::SetStatus(const QString& text) {
    w_.convertgrp->setTitle(text);
    emit statusChanged(text);
}

void TConversion::SetIdle() {
    w_.Button8->setText(QString::fromLatin1(kConvertCaption));
    timer3_->stop();
    SetStatus(kIdleStatus);
}

std::optional<ConversionFormat> TConversion::CheckedFormat() const {
    if (w_.mp3rb->isChecked())
        return ConversionFormat::MP3;
    if (w_.mp4rb->isChecked())
        return ConversionFormat::MP4;
    if (w_.flvrb->isChecked())
        return ConversionFormat::FLV;
    return std::nullopt;
}

void TConversion::Button8Click() {
    SetStatus(kIdleStatus);
    if (w_.Button8->text() == QLatin1String(kCancelCaption)) {
        // The running RunTool sees the flag within one wait slice, ends its tool
        // and the conversion cleans up after it.
        tools_->CancelRequested = true;
        SetIdle();
        return;
    }
    const auto video = library_->SelectedVideo();
    const auto format = CheckedFormat();
    if (!video || video->mobileAddress.empty() || !format)
        return;
    const FormatDialogSettings settings = DialogSettingsFor(*format);
    dialogs::Request request;
    request.kind = dialogs::Kind::SaveFile;
    request.fileName = request.filter = QString::fromLatin1(settings.pattern);
    request.defaultSuffix = QString::fromLatin1(settings.extension);
    const QString chosen = dialogs::GetSaveFileName(request, form_);
    if (chosen.isEmpty())
        return; // the user changed their mind: nothing to report
    conversionTarget_ = QFile::encodeName(chosen).toStdString();
    // Both go between double quotes into a tool's parameters; one that would
    // break out of them (the page address comes from the search service) could
    // add arguments of its own, so it is refused before anything runs.
    if (!FitsBetweenQuotes(conversionTarget_) || !FitsBetweenQuotes(video->pageAddress)) {
        dialogs::ShowMessage(QStringLiteral("Conversion error!"), form_);
        return;
    }
    Convert(*format, video->pageAddress);
}

void TConversion::Convert(ConversionFormat format, const std::string& pageAddress) {
    const std::string target = conversionTarget_;
    const std::string intermediate = IntermediateFile(target);
    if (shell::IsExistingFile(target)) {
        if (!dialogs::AskYesNo("File " + Text(target) + " exists! Overwrite?", form_)) {
            dialogs::ShowMessage(QStringLiteral("Conversion aborted!"), form_);
            return;
        }
        RemoveFile(target);
    }
    ShowPromotion();
    timer3_->start();
    w_.Button8->setText(QString::fromLatin1(kCancelCaption));
    tools_->CancelRequested = false;
    SetStatus(kSetUpStatus);
    if (shell::IsExistingFile(intermediate))
        RemoveFile(intermediate);
    SetStatus(kStreamingStatus);
    if (!RunStep("yt", DownloaderParameters(target, pageAddress)))
        return Abort(target);
    // A fixed pause by design; it lets nothing else run.
    std::this_thread::sleep_for(downloadPause_);
    if (!shell::IsExistingFile(intermediate))
        dialogs::ShowMessage(QStringLiteral("Connection error!"), form_);
    SetStatus(kConvertingStatus);
    if (!RunStep("mconv", ConverterParameters(format, target)))
        return Abort(target);
    SetIdle();
    if (shell::IsExistingFile(intermediate))
        RemoveFile(intermediate);
    dialogs::ShowMessage(shell::IsExistingFile(target) ? QStringLiteral("Conversion successfull!")
                                                       : QStringLiteral("Conversion error!"),
                         form_);
}

// While the downloader runs the target does not exist yet and the status
// keeps reading "Streaming...".
void TConversion::Timer3Timer() {
    if (!shell::IsExistingFile(conversionTarget_))
        return;
    const long long kib = shell::FileSize64(conversionTarget_) / 1024;
    SetStatus(kConvertingStatus + QString::number(kib) + QLatin1Char('k'));
}

// Runs one tool; false when the user cancelled meanwhile (the tool is then
// ended, not left running unwatched).
bool TConversion::RunStep(const char* tool, const std::string& parameters) {
    const ToolOutcome outcome =
        RunTool(*tools_, toolFolder_ + "/" + tool, parameters, CancelAction::EndTool);
    return outcome != ToolOutcome::Cancelled && !tools_->CancelRequested;
}

// The target is the conversion's own: a second conversion started while
// this one ran may have changed conversionTarget_.
void TConversion::Abort(const std::string& target) {
    // Whatever lies there now was written by this conversion: an existing
    // target was deleted (after the user's Yes) before the tools started.
    RemoveFile(IntermediateFile(target));
    RemoveFile(target);
    SetIdle();
    dialogs::ShowMessage(QStringLiteral("Conversion aborted!"), form_);
}

void TConversion::ShowPromotion() {
    try {
        TShockwaveFlashEx* flash = library_->Widgets().flash1;
        flash->SetFlashVars(
            QStringLiteral("&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true"));
        const std::string address = SchemePrefix() + settings::SiteHost() + "/ads/swf/";
        flash->LoadMovie(0, QString::fromStdString(address));
    } catch (...) {
        // The promotion is no part of the conversion.
    }
}
