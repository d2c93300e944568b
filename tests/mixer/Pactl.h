#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The sound server as pactl reports it (PULSE_SERVER from the environment).
namespace pactl {

// Runs pactl with the arguments; its standard output, or an empty string
// when it fails.
QString run(const QStringList& arguments);

// Per-channel volume percentages of "get-sink-volume"/"get-source-volume" output.
std::vector<int> percentages(const QString& volumeOutput);

std::vector<int> sinkVolume();
// Speakers and microphone unmuted at 100 %: how the shared private server
// must be left for the tests that record what it plays.
void resetToFullVolume();
std::vector<int> sourceVolume();
bool sinkMuted();
bool sourceMuted();

} // namespace pactl
