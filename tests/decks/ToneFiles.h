#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <string>

// Real MP3 files for the deck tests, made in the test run: sox writes a sine
// tone, lame encodes it. Files are cached by their parameters for the whole
// test program.
namespace tonefiles {

struct Tone {
    double frequency = 1000;
    double seconds = 3;
    int rate = 44100;
    int channels = 2;
    double amplitude = 0.5;
};

// The MP3 of a tone (made once per program).
std::string mp3(const Tone& tone);
// A WAV of a tone, under a name of the caller's choice (e.g. "x.mp3").
std::string wav(const Tone& tone, const QString& name);
// A file with exactly these bytes.
std::string bytes(const QString& name, const QByteArray& bytes);
// The first part (fraction 0..1) of another file.
std::string truncated(const std::string& from, const QString& name, double fraction);
// A path in the folder where nothing exists.
std::string missing(const QString& name);

} // namespace tonefiles
