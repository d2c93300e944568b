#pragma once

// Shared by the benchmarks: MP3 files made with sox and lame (kept in /tmp
// between runs), a reporter that keeps the fastest time of each benchmark
// (the least disturbed by other work on the machine) and the ratio line.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace benchsupport {

inline bool Run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// /tmp/kolvadeck-bench-NAME.mp3 from a sox synth effect, made once.
inline std::string Mp3(const QString& name, const QStringList& synth, int kbps) {
    const QString mp3 = "/tmp/kolvadeck-bench-" + name + ".mp3";
    if (QFile(mp3).size() > 0)
        return mp3.toStdString();
    const QString wav = "/tmp/kolvadeck-bench-" + name + ".wav";
    const bool made =
        Run("sox", QStringList{"-n", "-r", "44100", "-c", "2", wav, "synth"} + synth) &&
        Run("lame", {"--quiet", "--cbr", "-b", QString::number(kbps), wav, mp3});
    QFile::remove(wav);
    return made ? mp3.toStdString() : std::string();
}

class FastestRunReporter : public benchmark::ConsoleReporter {
public:
    // No colour codes: they would stand in front of the `ratio` lines.
    FastestRunReporter()
        : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            Keep(seconds, run, run.real_accumulated_time);
            Keep(cpuSeconds, run, run.cpu_accumulated_time);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;    // real (or manual) time per iteration
    std::map<std::string, double> cpuSeconds; // this process's CPU time per iteration

private:
    static void Keep(std::map<std::string, double>& fastest, const Run& run, double total) {
        const double t = total / double(run.iterations);
        auto [it, fresh] = fastest.emplace(run.run_name.function_name, t);
        if (!fresh)
            it->second = std::min(it->second, t);
    }
};

// Prints `ratio NAME VALUE` (ours / floor) when the floor was measured.
inline void PrintRatio(const std::string& name, double ours, double floor) {
    if (floor > 0)
        std::printf("ratio %s %.3f\n", name.c_str(), ours / floor);
}

} // namespace benchsupport
