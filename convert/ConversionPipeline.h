#pragma once

#include "convert/ConversionFormats.h"
#include "convert/ConvertForm.h"
#include "convert/ToolRun.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>
#include <string>

class QWidget;
class MusicLibrary;

// The download-and-convert pipeline of the "Preview" box: builds the format
// buttons, "Convert Now" and the status line into the box, and converts the
// video result of the selected row: `yt` fetches its page address into
// "{T}.flv" beside the chosen target {T}, a pause of 5 s follows, `mconv`
// turns that into the target, the intermediate file is deleted and the
// outcome is judged by the target. The steps are chained on the tools' ends
// and a single-shot timer, so the window never waits: progressTimer shows the
// target's growing size every second, and "Cancel?" ends the running tool's
// process group (or the pause), removes the conversion's own intermediate
// and partial target and reports "Conversion aborted!". Until a cancelled
// tool has ended, and while the steps go on after a tool could not be
// started, "Convert Now" is disabled. A cancelled save dialog reports
// nothing. A target or page address that would break out of its double
// quotes in a tool's parameters (a double quote, a trailing backslash) is
// refused with "Conversion error!" before anything runs. The controls sit in
// the box's design size (347 x 341) below the player.
//
// Wiring in MainWindow (after musicLibrary exists; `tools` is MainWindow's ToolState,
// also handed to the broadcast):
//     conversion = new ConversionPipeline(musicLibrary, &tools, this);
// The controller connects convertButton and progressTimer itself. If the tool folder is not
// the program's folder, pass it as the fourth argument.
class ConversionPipeline : public QObject {
    Q_OBJECT
public:
    ConversionPipeline(MusicLibrary* library, ToolState* tools, QWidget* form,
                       std::string toolFolder = {});
    // A conversion still running is ended with its tool (bounded) and leaves
    // none of its files.
    ~ConversionPipeline() override;

    void startOrCancel();  // starts a conversion, or cancels the running one
    void onProgressTick(); // shows the target's size while a conversion runs

    const ConversionWidgets& Widgets() const { return w_; }
    QTimer* progressTimer() const { return progressTimer_; }
    const std::string& ConversionTarget() const { return conversionTarget_; }
    QString Status() const;

    // The pause between the download and the conversion (5 s by design).
    void SetDownloadPause(std::chrono::milliseconds pause) { downloadPause_ = pause; }
    // True from the start of the tools until the conversion's last message.
    bool Converting() const { return step_ != Step::Idle; }

signals:
    // Every text written to the status line, in order (also repeated ones).
    void statusChanged(const QString& text);
    // A conversion that started its tools has ended (succeeded, failed or
    // was cancelled) and its last message has been shown.
    void conversionFinished();

private:
    // Where the running conversion stands; Ending: cancelled, its tool ending.
    enum class Step { Idle, Downloading, Pausing, Converting, Ending };

    std::optional<ConversionFormat> CheckedFormat() const;
    void Convert(ConversionFormat format, const std::string& pageAddress);
    void Cancel();
    void ToolFinished();
    void Pause();
    void StartConverter();
    void Finish();
    void Abort();
    bool StartTool(const char* tool, const std::string& parameters);
    void SetStep(Step step);
    void ShowPromotion();
    void SetIdle();
    void UpdateButton();
    void SetStatus(const QString& text);

    MusicLibrary* library_;
    ToolState* tools_;
    QWidget* form_;
    std::string toolFolder_;
    ConversionWidgets w_;
    QTimer* progressTimer_;
    std::string conversionTarget_;
    std::chrono::milliseconds downloadPause_{5000};
    ToolRun* run_; // yt, then mconv
    QTimer pause_; // between them
    Step step_ = Step::Idle;
    std::string target_; // the running conversion's own {T}
    std::string converterParameters_;
};
