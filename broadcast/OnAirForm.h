#pragma once

#include "broadcast/OnAirSession.h"

#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;
class QWidget;

// The "Icecast" group of the Broadcasting tab: where the broadcast goes
// besides the local relay, in what format, the ducking of the decks under
// the microphone, and whether the show is recorded.
struct OnAirWidgets {
    QGroupBox* box = nullptr;
    QCheckBox* sendToIcecast = nullptr; // "Send to Icecast"
    QLineEdit* server = nullptr;
    QSpinBox* port = nullptr;
    QLineEdit* mount = nullptr;
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr; // shown as dots
    QComboBox* format = nullptr;   // "MP3", "Ogg Vorbis", "Ogg Opus"
    QComboBox* bitrate = nullptr;  // kbit/s
    QSpinBox* ducking = nullptr;   // dB the decks go down under the microphone
    QCheckBox* recordShow = nullptr;
};

OnAirWidgets buildOnAirForm(QWidget* parent, int left, int top);

// What the form says. The recording, when asked for, goes to
// `recordingPath`.
OnAirSettings readOnAirForm(const OnAirWidgets& w, const std::string& recordingPath);

// The form's values are kept in <config>/Kolvadeck/broadcast.conf, a file
// the user alone can read (it holds the server's password).
QString onAirSettingsFile();
void loadOnAirForm(OnAirWidgets& w, const QString& file = onAirSettingsFile());
void saveOnAirForm(const OnAirWidgets& w, const QString& file = onAirSettingsFile());
