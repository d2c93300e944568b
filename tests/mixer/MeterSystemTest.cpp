// The input level of the running program against a real sound server: a tone
// played into the microphone feed of the private PulseAudio server reaches
// the meter through PortAudio; silence dims it again.
#include "mixer/InputLevel.h"
#include "mixer/InputMeterDesign.h"
#include "platform/capture/InputCapture.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

int runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Largest sample of a 16-bit WAV file written by sox (44-byte header).
int wavPeak(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray all = f.readAll();
    int peak = 0;
    for (qsizetype at = 44; at + 1 < all.size(); at += 2) {
        std::int16_t s;
        std::memcpy(&s, all.constData() + at, 2);
        peak = std::max(peak, int(s));
    }
    return peak;
}

// How many segments a peak should light on the window's meter: segment i of
// 0..91 lights when peak / 44100 exceeds 10^(-(92 - i) / 92 * 50 / 20).
int expectedLit(int peak) {
    const double level = peak / 44100.0;
    int lit = 0;
    while (lit < 92 && level > std::pow(10.0, -(92.0 - lit) / 92.0 * 2.5))
        ++lit;
    return lit;
}

class MeterOnPulseAudio : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_NE(qgetenv("PULSE_SERVER"), QByteArray()) << "needs the private sound server";
        audio::useCaptureBackend(audio::CaptureBackend::PortAudio);
        // The microphone at full volume, unmuted, whatever earlier tests left.
        ASSERT_EQ(runTool("pactl", {"set-source-mute", "ci_mic", "0"}), 0);
        ASSERT_EQ(runTool("pactl", {"set-source-volume", "ci_mic", "100%"}), 0);
        ASSERT_EQ(runTool("pactl", {"set-sink-mute", "ci_mic_feed", "0"}), 0);
        ASSERT_EQ(runTool("pactl", {"set-sink-volume", "ci_mic_feed", "100%"}), 0);
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override { audio::useCaptureBackend(audio::CaptureBackend::FromEnvironment); }
    QTemporaryDir dir_;
};

TEST_F(MeterOnPulseAudio, ToneLightsTheMeterToItsPeakAndSilenceDimsIt) {
    const QString tone = dir_.filePath("tone.wav");
    ASSERT_EQ(runTool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3",
                              "sine", "440", "vol", "0.5"}),
              0);
    const int peak = wavPeak(tone);
    ASSERT_GT(peak, 16000);
    const int expected = expectedLit(peak);
    ASSERT_EQ(expected, 77); // 0.5 of full scale: level ~0.371

    std::unique_ptr<LevelMeter> meter(createInputMeter(nullptr));
    InputLevel level(meter.get());
    int buffers = 0, highest = 0;
    QObject::connect(&level, &InputLevel::blockShown, [&] {
        ++buffers;
        highest = std::max(highest, meter->litCount(0));
    });
    const audio::Status started = level.start();
    ASSERT_TRUE(started) << started.error();
    // Buffers arrive about every 46 ms; before the tone the microphone is silent.
    ASSERT_TRUE(QTest::qWaitFor([&] { return buffers >= 5; }, 10000));
    EXPECT_EQ(meter->litCount(0), 0);

    QProcess paplay;
    paplay.start("paplay", {"-d", "ci_mic_feed", tone});
    ASSERT_TRUE(QTest::qWaitFor([&] { return meter->litCount(0) == expected; }, 10000))
        << "lit " << meter->litCount(0) << ", expected " << expected;
    ASSERT_TRUE(QTest::qWaitFor([&] { return paplay.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(paplay.exitCode(), 0);
    EXPECT_EQ(highest, expected); // never above what the peak calls for

    ASSERT_TRUE(QTest::qWaitFor([&] { return meter->litCount(0) == 0; }, 10000));

    // Closing: no more buffers once the capture has drained.
    level.stopWhenDrained();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !level.capture()->isOpen(); }, 5000));
    // The device is gone: whatever was still pending is dropped.
    const int seen = buffers;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(buffers, seen);
}

} // namespace

// PortAudio starts (probing every device) on a thread of its own; `ready`
// runs afterwards on the calling thread, where the capture then opens.
TEST_F(MeterOnPulseAudio, TheCaptureBackEndStartsOffTheCallingThread) {
    bool ran = false, opened = false;
    const auto task = audio::prepareInputCapture([&] {
        ran = true;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        audio::CaptureFormat format;
        format.channels = 2;
        format.rate = 44100;
        format.sampleType = audio::SampleType::Int16;
        std::unique_ptr<audio::InputCapture> capture;
        opened = bool(audio::openInputCapture(audio::InputCapture::kDefaultDevice, format, 4096, {},
                                              capture));
    });
    EXPECT_FALSE(ran) << "the caller waited for the back end to start";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran; }, 10000));
    EXPECT_TRUE(opened);
}
