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
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            texts << request.text;
            reply(dialogs::Answer{true, {}});
        });
    }
    ~ShownMessages() { dialogs::setHandler({}); }
};

// The mixer panel as the main window builds it, with plain Qt sliders in
// place of the program's own slider control. The panel's own writes are
// silent, as the program's slider's are; a test's setValue is a user's move.
struct Panel {
    QCheckBox micMute{QStringLiteral("MUTE/MIC")};
    QSlider masterLevel;
    QSlider micLevel;
    int crossFadeClears = 0;
    std::unique_ptr<MixerPanelControls> controls;

    explicit Panel(mixer::MixerSystem& system) {
        masterLevel.setRange(0, 100);
        micLevel.setRange(0, 65535);
        micMute.setChecked(true);
        controls = std::make_unique<MixerPanelControls>(
            MixerPanelWidgets{&micMute, [this](int p) { return place(masterLevel, p); },
                              [this](int p) { return place(micLevel, p); },
                              [this] { ++crossFadeClears; }},
            system);
        QObject::connect(&masterLevel, &QSlider::valueChanged,
                         [this](int p) { controls->setMasterVolume(p); });
        QObject::connect(&micLevel, &QSlider::valueChanged,
                         [this](int p) { controls->setMicVolume(p); });
        QObject::connect(&micMute, &QCheckBox::clicked, [this] { controls->applyMicMute(); });
    }

    static int place(QSlider& slider, int position) {
        const QSignalBlocker silent(slider);
        slider.setValue(position);
        return slider.value();
    }

    void startup() {
        controls->startupMicrophone();
        controls->startupMasterVolume();
    }
};
