#pragma once

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls of the "Broadcasting" tab, by their design names.
struct BroadcastWidgets {
    QGroupBox* streamingchannelbox = nullptr;     // "   Streaming Channel", holds the three below
    QGroupBox* serverbox = nullptr;               // "Server"
    QGroupBox* backgroundbox = nullptr;           // "Video Background"
    QGroupBox* controlbox = nullptr;              // "Control"
    QLineEdit* streamingrtmpurledit = nullptr;    // "RTMP URL (FMS):"
    QLineEdit* streamingstreamedit = nullptr;     // "Stream:"
    QLineEdit* streamingpreviewurledit = nullptr; // "Preview (Url):", read by nothing
    QLineEdit* streamingbackgroundurledit = nullptr; // "URL/File (*.jpg):"
    QPushButton* loadBackgroundButton = nullptr;     // "Load"
    QLabel* streamingpreviewimage = nullptr;         // 320 x 240, picture at its own size
    QLabel* streamingstatuslbl = nullptr;
    QPushButton* streamingpreviewbtn = nullptr; // "Watch", no handler
    QPushButton* broadcastButton = nullptr;     // "Broadcast Now" / "Cancel broadcasting?"
};

inline constexpr const char* kInitialRtmpUrl = "rtmp://live.restream.io/live";

// Builds the tab's controls into `tabSheet` at their design places, captions
// and initial texts. The widgets belong to `tabSheet`.
BroadcastWidgets buildBroadcastForm(QWidget* tabSheet);
