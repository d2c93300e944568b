#include "broadcast/BroadcastController.h"
#include "broadcast/ToolCallbacks.h"
#include "convert/ToolState.h"
#include "net/NetError.h"
#include "net/Socket.h"
#include "platform/Dialogs.h"
#include "platform/JpegCodec.h"
#include "platform/capture/InputCapture.h"
#include "tests/support/TestApp.h"

#include "tests/support/SignalMeasure.h"
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace {

constexpr const char* kStream = "rtmp://127.0.0.1/live/kvtest";

// Runs a program to its end; exit code (-1 when it crashed or did not start).
int runProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
               int timeoutMs = 30000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool portAccepts(int port) {
    try {
        net::connect("127.0.0.1", port);
        return true;
    } catch (const net::SocketError&) {
        return false;
    }
}

// nginx with the RTMP module from a temporary prefix, on 127.0.0.1:1935.
class RtmpServer {
public:
    explicit RtmpServer(const QString& dir) {
        const QString conf = dir + "/nginx.conf";
        QFile f(conf);
        f.open(QIODevice::WriteOnly);
        f.write(QString("load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
                        "daemon off;\nmaster_process off;\npid %1/nginx.pid;\n"
                        "error_log %1/error.log;\nevents { worker_connections 64; }\n"
                        "rtmp { server { listen 127.0.0.1:1935; "
                        "application live { live on; } } }\n")
                    .arg(dir)
                    .toUtf8());
        f.close();
        process_.start("/usr/sbin/nginx", {"-p", dir, "-e", dir + "/error.log", "-c", conf});
    }
    ~RtmpServer() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    bool waitUntilListening() {
        for (int i = 0; i < 200 && process_.state() != QProcess::NotRunning; ++i) {
            if (portAccepts(1935))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }

private:
    QProcess process_;
};

// What the probes found, filled on a worker thread so that the main thread
// keeps re-queuing capture buffers meanwhile.
struct Probe {
    std::atomic<bool> done{false};
    QByteArray streams;
    QByteArray audio; // 3 s of 22050 Hz mono s16le pulled back from the server
};

void probeStream(Probe& probe) {
    // The converter needs a moment to connect and publish: retry the probe.
    for (int attempt = 0; attempt < 20 && probe.streams.isEmpty(); ++attempt) {
        QByteArray out;
        if (runProgram("ffprobe",
                       {"-v", "error", "-rw_timeout", "5000000", "-show_entries",
                        "stream=codec_type,width,height,r_frame_rate,sample_rate,channels", "-of",
                        "default=nw=1", kStream},
                       &out) == 0 &&
            out.contains("codec_type=audio") && out.contains("codec_type=video"))
            probe.streams = out;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    runProgram("ffmpeg",
               {"-v", "error", "-nostdin", "-rw_timeout", "5000000", "-i", kStream, "-t", "3",
                "-vn", "-ac", "1", "-ar", "22050", "-f", "s16le", "-"},
               &probe.audio);
    probe.done = true;
}

std::vector<float> samples(const QByteArray& s16) {
    std::vector<float> x(std::size_t(s16.size()) / 2);
    for (std::size_t i = 0; i < x.size(); ++i) {
        std::int16_t v;
        std::memcpy(&v, s16.constData() + 2 * i, 2);
        x[i] = float(v) / 32768.0f;
    }
    return x;
}

bool converterRunning(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) == 0;
}

TEST(BroadcastEndToEnd, ToneAndPictureReachTheRtmpServerAndTheStopEndsEverything) {
    ensureTestApp();
    ASSERT_NE(qgetenv("PULSE_SERVER"), QByteArray()) << "needs the private sound server";
    audio::useCaptureBackend(audio::CaptureBackend::PortAudio);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    ASSERT_EQ(runProgram("pactl", {"set-source-mute", "ci_mic", "0"}), 0);
    ASSERT_EQ(runProgram("pactl", {"set-source-volume", "ci_mic", "100%"}), 0);
    ASSERT_EQ(runProgram("pactl", {"set-sink-volume", "ci_mic_feed", "100%"}), 0);

    RtmpServer rtmp(d);
    ASSERT_TRUE(rtmp.waitUntilListening()) << "nginx-rtmp did not start";

    const QString tone = d + "/tone.wav";
    ASSERT_EQ(runProgram("sox", {"-n", "-r", "22050", "-c", "2", "-b", "16", tone, "synth", "60",
                                 "sine", "1000", "vol", "0.5"}),
              0);
    QProcess paplay;
    paplay.start("paplay", {"-d", "ci_mic_feed", tone});

    QImage background(320, 240, QImage::Format_RGB32);
    background.fill(QColor(30, 120, 200));
    const QString picture = d + "/background.jpg";
    ASSERT_TRUE(encodeJpeg(background, picture));
    dialogs::setHandler([&](const dialogs::Request& r, const dialogs::Reply& reply) {
        dialogs::Answer a;
        a.accepted = r.kind == dialogs::Kind::OpenFiles;
        if (a.accepted)
            a.files = {picture};
        EXPECT_NE(r.kind, dialogs::Kind::Error) << r.text.toStdString();
        reply(a);
    });

    QWidget form, tab;
    ToolState tools;
    pid_t converter = 0;
    tools.OnStarted = [&](pid_t pid) { converter = pid; };
    auto controller = std::make_unique<BroadcastController>(&tab, d.toStdString() + "/", &form,
                                                            toolRunnerCallbacks(tools));
    controller->ConverterPath = KV_MCONV;
    controller->widgets().loadBackgroundButton->click();
    ASSERT_FALSE(controller->picture().isNull());
    controller->widgets().streamingrtmpurledit->setText("rtmp://127.0.0.1/live");
    controller->widgets().streamingstreamedit->setText("kvtest");

    Probe probe;
    controller->widgets().broadcastButton->click(); // returns with the converter running
    ASSERT_TRUE(converterRunning(converter));
    std::thread prober([&] { probeStream(probe); });
    // The window's loop runs the capture and watches the converter meanwhile.
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done.load(); }, 120000));
    prober.join();
    EXPECT_TRUE(converterRunning(converter)) << "the converter ended before the probes were done";
    EXPECT_EQ(controller->widgets().broadcastButton->text(), "Cancel broadcasting?");
    controller->widgets().broadcastButton->click(); // "Cancel broadcasting?"
    paplay.kill();
    paplay.waitForFinished();

    EXPECT_EQ(controller->widgets().broadcastButton->text(), "Broadcast Now");
    EXPECT_FALSE(controller->broadcasting());
    EXPECT_FALSE(portAccepts(8099));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !converterRunning(converter); }, 10000));

    const std::string streams = probe.streams.toStdString();
    EXPECT_NE(streams.find("width=320"), std::string::npos) << streams;
    EXPECT_NE(streams.find("height=240"), std::string::npos) << streams;
    EXPECT_NE(streams.find("r_frame_rate=10/1"), std::string::npos) << streams;
    EXPECT_NE(streams.find("sample_rate=22050"), std::string::npos) << streams;
    EXPECT_NE(streams.find("channels=2"), std::string::npos) << streams;

    const std::vector<float> audio = samples(probe.audio);
    ASSERT_GT(audio.size(), 22050u) << "less than a second of sound came back";
    double sum = 0;
    for (float v : audio)
        sum += double(v) * v;
    EXPECT_GT(std::sqrt(sum / double(audio.size())), 0.05) << "the sound is silent";
    const double frequency = measure::zeroCrossingFrequency(audio, 22050);
    EXPECT_NEAR(frequency, 1000.0, 20.0);
    std::printf("streams:\n%s measured tone %.1f Hz over %zu samples\n", streams.c_str(), frequency,
                audio.size());

    controller.reset();
    dialogs::setHandler({});
    audio::useCaptureBackend(audio::CaptureBackend::FromEnvironment);
}

} // namespace
