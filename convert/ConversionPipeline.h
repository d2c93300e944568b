#pragma once

#include "convert/ConversionFormats.h"
#include "convert/ConvertForm.h"
#include "convert/ToolRunner.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>
#include <string>

class QTimer;
class QWidget;
class TMusicLibrary;

// The download-and-convert pipeline of the "Preview" box: builds the format
// buttons, "Convert Now" and the status line into the box, and converts the
// video result of the selected row: `yt` fetches its page address into
// "{T}.flv" beside the chosen target {T}, `mconv` turns that into the target,
// the intermediate file is deleted and the outcome is judged by the target.
// While a tool runs the window stays live (RunTool pumps events): Timer3 shows
// the target's growing size every second and "Cancel?" ends the running tool,
// removes the intermediate and partial files and reports "Conversion aborted!".
// A cancelled save dialog reports nothing. A target or page address that would
// break out of its double quotes in a tool's parameters (a double quote, a
// trailing backslash) is refused with "Conversion error!" before anything runs.
// The controls sit in the box's design size (347 x 341) below the player.
//
// Wiring in TForm1 (after musicLibrary exists; `tools` is TForm1's ToolState,
// also handed to the broadcast):
//     conversion = new TConversion(musicLibrary, &tools, this);
// The controller connects Button8 and Timer3 itself. If the tool folder is not
// the program's folder, pass it as the fourth argument.
class TConversion : public QObject {
    Q_OBJECT
public:
    TConversion(TMusicLibrary* library, ToolState* tools, QWidget* form,
                std::string toolFolder = {});

    void Button8Click(); // starts a conversion, or cancels the running one
    void Timer3Timer();  // shows the target's size while a conversion runs

    const ConversionWidgets& Widgets() const { return w_; }
    QTimer* Timer3() const { return timer3_; }
    const std::string& ConversionTarget() const { return conversionTarget_; }
    QString Status() const;

    // The pause between the download and the conversion (5 s by design; the
    // window does not react meanwhile).
    void SetDownloadPause(std::chrono::milliseconds pause) { downloadPause_ = pause; }

signals:
    // Every text written to the status line, in order (also repeated ones).
    void statusChanged(const QString& text);

private:
    std::optional<ConversionFormat> CheckedFormat() const;
    void Convert(ConversionFormat format, const std::string& pageAddress);
    bool RunStep(const char* tool, const std::string& parameters);
    void Abort(const std::string& target);
    void ShowPromotion();
    void SetIdle();
    void SetStatus(const QString& text);

    TMusicLibrary* library_;
    ToolState* tools_;
    QWidget* form_;
    std::string toolFolder_;
    ConversionWidgets w_;
    QTimer* timer3_;
    std::string conversionTarget_;
    std::chrono::milliseconds downloadPause_{5000};
};
