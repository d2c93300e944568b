// The sound server dies while the whole window plays a list on the real back
// ends (sound output, mixer, microphone): the list plays on in silence and the
// window still stops and closes.
#include "app/MainWindow.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "tests/app/ShownWindow.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/faults/PrivatePulse.h"
#include "tests/support/TestApp.h"

#include <QAction>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(SoundServerKilledUnderTheWindow, WholeWindowOnTheRealBackEndsGoesOnAndCloses) {
    ensureTestApp();
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.up()) << "private PulseAudio did not start";
    QTemporaryDir home;
    ::setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
    ::unsetenv("KOLVADECK_AUDIO"); // the real sound output, mixer and microphone
    dialogs::setHandler([](const dialogs::Request&, const dialogs::Reply& reply) {
        reply(dialogs::Answer{true, {}});
    });

    auto form = std::make_unique<MainWindow>();
    ASSERT_TRUE(showAndOpenSoundDevices(*form, true)) << form->audioEngine()->backendName();
    for (double frequency : {440.0, 550.0, 660.0})
        form->playlist()->addFile(tonefiles::mp3({.frequency = frequency, .seconds = 2}));
    form->controls().playAction->trigger();
    ASSERT_TRUE(waitFor([&] { return form->decks()->CurrentDeck == Deck::A; }));

    pulse.kill();
    // The list plays on in silence: the third track is reached and the list
    // runs out, with the window's own timers driving it.
    const int atKill = form->decks()->CurrentIndex;
    const auto killedAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(waitFor([&] { return form->decks()->CurrentIndex == 2; }, 30000))
        << "the decks stopped advancing; at index " << form->decks()->CurrentIndex;
    std::printf("index %d at the kill, 2 after %lld ms\n", atKill,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - killedAt)
                                           .count()));
    EXPECT_TRUE(waitFor([&] {
        return std::strcmp(form->audioEngine()->backendName(), "silent") == 0;
    })) << "the engine never left the dead device";
    {
        HangGuard guard("stopping and closing the window", 10000);
        form->controls().playAction->trigger(); // "Stop"
        form->close();
        form.reset();
    }
    dialogs::setHandler({});
    ::setenv("KOLVADECK_AUDIO", "virtual", 1);
}

} // namespace
