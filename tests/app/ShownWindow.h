#pragma once

#include "app/MainWindow.h"
#include "mixer/InputLevel.h"
#include "platform/audio/AudioEngine.h"

#include <QTest>
#include <cstring>

// Shows the window as the program does and waits for what it opens once shown:
// the system mixer and then the level capture (once its back end has
// started), and with realOutput the sound output too (it opens on the audio
// engine's thread).
inline bool showAndOpenSoundDevices(MainWindow& form, bool realOutput = false) {
    form.show();
    return QTest::qWaitFor(
        [&] {
            return form.inputLevel() && form.inputLevel()->capture() &&
                   (!realOutput || std::strcmp(form.audioEngine()->backendName(), "pulse") == 0);
        },
        15000);
}
