#pragma once

#include "platform/audio/AudioEngine.h"
#include "tests/decks/TransitionSet.h"

#include <functional>
#include <vector>

class DeckEngine;

// The transition set, made once for the test program.
const transitions::Set& theTransitionSet();

// Plays the set as a list with the decks on engine and the track shaper,
// "Smart transitions" as asked, until its last track has played out.
// advance(decks, ms) moves the sound on by 100 ms and runs what the window's
// thread would meanwhile; sound() then takes what was heard (left channel).
std::vector<float> playTheTransitionSet(audio::AudioEngine& engine, bool smart,
                                        const std::function<void(DeckEngine&, int)>& advance,
                                        const std::function<std::vector<float>()>& sound);

// What every join must show with hand-overs planned per pair; excessSlackLu
// is what the measuring path may add to the loudness excess.
void expectEvenJoins(const std::vector<transitions::Join>& joins, double excessSlackLu);
