#pragma once

#include "convert/ConversionFormats.h"
#include "convert/ConvertForm.h"
#include "convert/ToolRun.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;
class MusicLibrary;

// The download-and-convert pipeline of the "Preview" box: builds the format
// buttons, "Convert Now" and the status line into the box, and converts the
// video result of the selected row: `yt` fetches its page address into
// "{T}.flv" beside the chosen target {T}, a pause of 5 s follows, `mconv`
// turns that into the target, the intermediate file is deleted and the
// outcome is judged by the target. Each step follows the previous one's end:
// a tool's end, the single-shot pause timer, or the answer to a dialog (the
// save dialog, the overwrite question, a message), which opens window-modal,
// so the window never waits. progressTimer shows the target's growing size
// every second, and "Cancel?" ends the running tool's process group (or the
// pause), removes the conversion's own intermediate and partial target and
// reports "Conversion aborted!". Until a cancelled tool has ended, and while
// the steps go on after a tool could not be started, "Convert Now" is
// disabled. A cancelled save dialog reports nothing. A target or page address
// holding a double quote or ending in a backslash is refused with
// "Conversion error!" before anything runs. The controls sit in the box's
// design size (347 x 341) below the player. The tools are looked for in
// toolFolder (the program's own folder when empty); a tool that cannot be
// started puts the controls back to idle through the shared ToolState.
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

    const ConversionWidgets& widgets() const { return w_; }
    QTimer* progressTimer() const { return progressTimer_; }
    const std::string& conversionTarget() const { return conversionTarget_; }
    QString status() const;

    // The pause between the download and the conversion (5 s by design).
    void setDownloadPause(std::chrono::milliseconds pause) { downloadPause_ = pause; }
    // True from the start of the tools until the conversion's last message.
    bool converting() const { return step_ != Step::Idle; }

signals:
    // Every text written to the status line, in order (also repeated ones).
    void statusChanged(const QString& text);
    // A conversion that started its tools has ended (succeeded, failed or
    // was cancelled) and its last message has been shown.
    void conversionFinished();

private:
    // Where the running conversion stands; Ending: cancelled, its tool ending.
    enum class Step { Idle, Downloading, Pausing, Converting, Ending };

    std::optional<ConversionFormat> checkedFormat() const;
    void targetChosen(const QString& chosen, ConversionFormat format,
                      const std::string& pageAddress);
    void convert(ConversionFormat format, const std::string& pageAddress);
    void cancel();
    void toolFinished();
    void pause();
    void startConverter();
    void converter();
    void finish();
    // Announces the end once the last message has been closed.
    std::function<void()> finished();
    void abort();
    void startTool(const char* tool, const std::vector<std::string>& arguments);
    void setStep(Step step);
    void showPromotion();
    void setIdle();
    void updateButton();
    void setStatus(const QString& text);

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
    std::vector<std::string> converterArguments_;
};
