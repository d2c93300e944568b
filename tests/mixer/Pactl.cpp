#include "Pactl.h"

#include <QProcess>
#include <QRegularExpression>

namespace pactl {

QString run(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::vector<int> percentages(const QString& volumeOutput) {
    // "Volume: front-left: 43909 /  67% / -10.44 dB,   front-right: ..."
    std::vector<int> percentages;
    const QString firstLine = volumeOutput.section(QLatin1Char('\n'), 0, 0);
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    for (const auto& match : percent.globalMatch(firstLine))
        percentages.push_back(match.captured(1).toInt());
    return percentages;
}

std::vector<int> sinkVolume() {
    return percentages(run({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")}));
}

std::vector<int> sourceVolume() {
    return percentages(
        run({QStringLiteral("get-source-volume"), QStringLiteral("@DEFAULT_SOURCE@")}));
}

bool sinkMuted() {
    return run({QStringLiteral("get-sink-mute"), QStringLiteral("@DEFAULT_SINK@")})
        .contains(QStringLiteral("Mute: yes"));
}

bool sourceMuted() {
    return run({QStringLiteral("get-source-mute"), QStringLiteral("@DEFAULT_SOURCE@")})
        .contains(QStringLiteral("Mute: yes"));
}

void resetToFullVolume() {
    run({"set-sink-mute", "@DEFAULT_SINK@", "0"});
    run({"set-sink-volume", "@DEFAULT_SINK@", "100%"});
    run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
    run({"set-source-volume", "@DEFAULT_SOURCE@", "100%"});
}

} // namespace pactl
