#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The sound server as pactl reports it (PULSE_SERVER from the environment).
namespace pactl {

// Runs pactl with the arguments; its standard output, or an empty string
// when it fails.
QString Run(const QStringList& arguments);

// Per-channel volume percentages of "get-sink-volume"/"get-source-volume" output.
std::vector<int> Percentages(const QString& volumeOutput);

std::vector<int> SinkVolume();
// Speakers and microphone unmuted at 100 %: how the shared private server
// must be left for the tests that record what it plays.
void ResetToFullVolume();
std::vector<int> SourceVolume();
bool SinkMuted();
bool SourceMuted();

} // namespace pactl
