#pragma once

#include <QString>
#include <QStringList>
#include <string>

// Sound files made by real encoders in the test run (sox, flac, lame,
// opusenc, ffmpeg), in one temporary folder per test program.
namespace soundfiles {

// Runs a tool and throws with its error output when it fails.
void run(const QString& program, const QStringList& args, const QString& stdoutFile = {});

// A path in the folder (nothing is made).
std::string pathOf(const QString& name);

// A WAV made by sox: `sox -n -r RATE -c CHANNELS name.wav synth <effects...>`,
// e.g. {"3", "sine", "1000", "vol", "0.5"}.
std::string soxWav(const QString& name, const QStringList& synth, int rate = 44100,
                   int channels = 2);

// The WAV encoded to the format of the name's extension (flac, ogg, opus,
// aiff, m4a, mp3, wav), with artist and title tags when given: a WAV's in
// RIFF INFO, an AIFF's in AUTH and NAME chunks (as ffmpeg writes them).
std::string encode(const std::string& wav, const QString& name, const QString& artist = {},
                   const QString& title = {});

// A file with these bytes.
std::string writeBytes(const QString& name, const QByteArray& bytes);
QByteArray readBytes(const std::string& path);

// ffmpeg's ebur128 filter on a file: integrated loudness (LUFS) and true peak (dBTP).
struct Ebur128 {
    double integratedLufs = 0;
    double truePeakDbtp = 0;
};
Ebur128 ffmpegLoudness(const std::string& path, double gainDb = 0);

} // namespace soundfiles
