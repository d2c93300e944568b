#pragma once

#include "platform/wavein/WaveIn.h"

#include <cstdint>
#include <string>
#include <vector>

// The virtual input: a sound source the test sets and a clock the test
// advances. Nothing is recorded until the test calls Advance or Feed; the
// recorded bytes then go to every started virtual device at once, and their
// notifications are posted (window form) or called on the calling thread
// (function form).
namespace wavein::virtual_input {

// Sine tone at the given frequency; amplitude 0..1 of full scale.
void SetTone(double frequencyHz, double amplitude);
void SetSilence();
// Interleaved 16-bit samples with their channel count, played in a loop at
// each device's own frame rate.
void SetSamples(std::vector<std::int16_t> interleaved, int channels);
// Loads a 16-bit PCM WAV file as the looped source; false if it cannot be read.
bool LoadWavFile(const std::string& path);

// Records `frames` sample frames into every started device.
void Advance(int frames);
// Records these exact bytes (already in the device's format) into every started device.
void Feed(const void* bytes, std::size_t count);

// Number of virtual devices open now.
int OpenDevices();
// Failure injection: the next open fails with this code (0 = succeed), and
// the next `count` buffers added are refused with `error`.
void FailNextOpen(MMRESULT error);
void FailAddBuffers(int count, MMRESULT error);
// Back to silence, no injected failures.
void ResetState();

} // namespace wavein::virtual_input
