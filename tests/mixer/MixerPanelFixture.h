#pragma once

#include "mixer/MixerPanelControls.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QSlider>
#include <QStringList>
#include <memory>

// Records every message box instead of showing it.
struct ShownMessages {
    QStringList texts;
    ShownMessages() {
        dialogs::SetHandler([this](const dialogs::Request& request) {
            texts << request.text;
            return dialogs::Answer{true, {}};
        });
    }
    ~ShownMessages() { dialogs::SetHandler({}); }
};

// The mixer panel as the main window builds it, with plain Qt sliders in
// place of the program's own slider control.
struct Panel {
    QCheckBox micmute{QStringLiteral("MUTE/MIC")};
    QSlider mastervol;
    QSlider micvol;
    int crossFadeClears = 0;
    std::unique_ptr<MixerPanelControls> controls;

    explicit Panel(mixer::MixerSystem& system) {
        mastervol.setRange(0, 100);
        micvol.setRange(0, 65535);
        micmute.setChecked(true);
        controls = std::make_unique<MixerPanelControls>(
            MixerPanelWidgets{&micmute, [this](int p) { mastervol.setValue(p); },
                              [this](int p) { micvol.setValue(p); }, [this] { ++crossFadeClears; }},
            system);
        QObject::connect(&mastervol, &QSlider::valueChanged,
                         [this](int p) { controls->mastervolChange(p); });
        QObject::connect(&micvol, &QSlider::valueChanged,
                         [this](int p) { controls->micvolChange(p); });
        QObject::connect(&micmute, &QCheckBox::clicked, [this] { controls->micmuteClick(); });
    }

    void startup() {
        controls->StartupMicrophone();
        controls->StartupMasterVolume();
    }
};
