#pragma once

#include "platform/audio/AudioEngine.h"
#include "tests/decks/WaitFor.h"

// Lets the engine's loader answer every load it was given (and the loads those
// answers start), running the events that carry the answers.
inline bool settleLoads(const audio::AudioEngine& engine) {
    return waitFor([&] { return engine.loadsPending() == 0; });
}
