#pragma once

// Shared by the benchmarks: MP3 files made with sox and lame (kept in /tmp
// between runs), the median and the worst of repeated times (a stall that
// happens once in three must show), a reporter that keeps them for each
// benchmark, and the ratio line.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchsupport {

inline bool run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// /tmp/kolvadeck-bench-NAME.mp3 from a sox synth effect, made once.
inline std::string mp3(const QString& name, const QStringList& synth, int kbps) {
    const QString mp3 = "/tmp/kolvadeck-bench-" + name + ".mp3";
    if (QFile(mp3).size() > 0)
        return mp3.toStdString();
    const QString wav = "/tmp/kolvadeck-bench-" + name + ".wav";
    const bool made =
        run("sox", QStringList{"-n", "-r", "44100", "-c", "2", wav, "synth"} + synth) &&
        run("lame", {"--quiet", "--cbr", "-b", QString::number(kbps), wav, mp3});
    QFile::remove(wav);
    return made ? mp3.toStdString() : std::string();
}

// Repeated measurements of one thing.
class Spread {
public:
    Spread() = default;
    explicit Spread(std::vector<double> values)
        : values_(std::move(values)) {
        std::sort(values_.begin(), values_.end());
    }
    // The value that p per cent of the measurements do not pass (0 when none).
    double percentile(double p) const {
        if (values_.empty())
            return 0;
        const auto at =
            static_cast<size_t>(p / 100 * static_cast<double>(values_.size() - 1) + 0.5);
        return values_[std::min(at, values_.size() - 1)];
    }
    double median() const { return percentile(50); }
    double worst() const { return values_.empty() ? 0 : values_.back(); }

private:
    std::vector<double> values_;
};

// Keeps every repetition's time per iteration of each benchmark; the maps
// give the median (run with --benchmark_repetitions=N for more than one),
// and the worst is kept beside it.
class RunReporter : public benchmark::ConsoleReporter {
public:
    // No colour codes: they would stand in front of the `ratio` lines.
    RunReporter()
        : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const std::string& name = run.run_name.function_name;
            const double iterations = double(run.iterations);
            real_[name].push_back(run.real_accumulated_time / iterations);
            cpu_[name].push_back(run.cpu_accumulated_time / iterations);
            seconds[name] = Spread(real_[name]).median();
            cpuSeconds[name] = Spread(cpu_[name]).median();
            worstSeconds[name] = Spread(real_[name]).worst();
            worstCpuSeconds[name] = Spread(cpu_[name]).worst();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;         // median real (or manual) time per iteration
    std::map<std::string, double> cpuSeconds;      // median CPU time of this process per iteration
    std::map<std::string, double> worstSeconds;    // the slowest repetition's real time
    std::map<std::string, double> worstCpuSeconds; // the slowest repetition's CPU time

private:
    std::map<std::string, std::vector<double>> real_;
    std::map<std::string, std::vector<double>> cpu_;
};

// Prints `ratio NAME VALUE` (ours / floor) when the floor was measured.
inline void printRatio(const std::string& name, double ours, double floor) {
    if (floor > 0)
        std::printf("ratio %s %.3f\n", name.c_str(), ours / floor);
}

} // namespace benchsupport
