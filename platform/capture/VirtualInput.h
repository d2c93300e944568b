#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The virtual input: a sound source the test sets and a clock the test
// advances. Nothing is recorded until the test calls Advance or Feed; the
// recording then goes to every running virtual capture at once, and their
// handlers run on the calling thread.
namespace audio::virtual_input {

// Sine tone at the given frequency; amplitude 0..1 of full scale.
void setTone(double frequencyHz, double amplitude);
void setSilence();
// Interleaved 16-bit samples with their channel count, played in a loop at
// each capture's own frame rate.
void setSamples(std::vector<std::int16_t> interleaved, int channels);
// Loads a 16-bit PCM WAV file as the looped source; false if it cannot be read.
bool loadWavFile(const std::string& path);

// Records `frames` sample frames into every running capture.
void advance(int frames);
// Records these exact bytes (already in the capture's format) into every running capture.
void feed(const void* bytes, std::size_t count);

// Number of virtual captures open now.
int openCaptures();
// Failure injection: the next open, or the next start, fails with this text.
void failNextOpen(std::string error);
void failNextStart(std::string error);
// Back to silence, no injected failures.
void resetState();

} // namespace audio::virtual_input
