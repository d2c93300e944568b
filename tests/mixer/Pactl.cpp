#include "Pactl.h"

#include <QProcess>
#include <QRegularExpression>

namespace pactl {

QString Run(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::vector<int> Percentages(const QString& volumeOutput) {
    // "Volume: front-left: 43909 /  67% / -10.44 dB,   front-right: ..."
    std::vector<int> percentages;
    const QString firstLine = volumeOutput.section(QLatin1Char('\n'), 0, 0);
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    for (const auto& match : percent.globalMatch(firstLine))
        percentages.push_back(match.captured(1).toInt());
    return percentages;
}

std::vector<int> SinkVolume() {
    return Percentages(Run({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")}));
}

std::vector<int> SourceVolume() {
    return Percentages(
        Run({QStringLiteral("get-source-volume"), QStringLiteral("@DEFAULT_SOURCE@")}));
}

bool SinkMuted() {
    return Run({QStringLiteral("get-sink-mute"), QStringLiteral("@DEFAULT_SINK@")})
        .contains(QStringLiteral("Mute: yes"));
}

bool SourceMuted() {
    return Run({QStringLiteral("get-source-mute"), QStringLiteral("@DEFAULT_SOURCE@")})
        .contains(QStringLiteral("Mute: yes"));
}

void ResetToFullVolume() {
    Run({"set-sink-mute", "@DEFAULT_SINK@", "0"});
    Run({"set-sink-volume", "@DEFAULT_SINK@", "100%"});
    Run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
    Run({"set-source-volume", "@DEFAULT_SOURCE@", "100%"});
}

} // namespace pactl
