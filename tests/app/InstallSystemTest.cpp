// The program as a distribution ships it: installed by `cmake --install` into
// a scratch prefix, checked by the desktop's own validators, and started from
// there as the desktop starts it (its entry's Exec line) on the private sound
// server and a private session bus, with files given on the command line.
#include "tests/app/PrivateBus.h"
#include "tests/decks/ToneFiles.h"
#include "tests/mixer/Pactl.h"
#include "tests/support/TestApp.h"
#include "tests/tags/PeerTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {
struct Finished {
    int exitCode = -1;
    bool finished = false;
    QString out, err;
};

// Runs a program to its end, given at most timeoutMs; one that is still
// running then is killed and reported as unfinished.
Finished runProgram(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                    int timeoutMs = 60000) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Finished run;
    run.finished =
        process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

class InstalledProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new QTemporaryDir;
        const Finished install =
            runProgram(KV_CMAKE_COMMAND, {"--install", KV_BINARY_DIR, "--prefix", prefix_->path()});
        installed_ = install.finished && install.exitCode == 0;
        if (!installed_)
            std::fprintf(stderr, "cmake --install failed:\n%s\n", qPrintable(install.err));
    }
    static void TearDownTestSuite() { delete prefix_; }
    void SetUp() override {
        ensureTestApp(); // the event loop that follows the programs started
        ASSERT_TRUE(installed_);
    }

    static QString installed(const QString& path) { return prefix_->path() + "/" + path; }
    static QString program() { return installed("bin/kolvadeck"); }

    // The desktop entry's value of a key.
    static QString entryValue(const QString& key) {
        QFile entry(installed("share/applications/kolvadeck.desktop"));
        if (!entry.open(QIODevice::ReadOnly))
            return {};
        for (const QString& line : QString::fromUtf8(entry.readAll()).split('\n'))
            if (line.startsWith(key + "="))
                return line.mid(key.size() + 1);
        return {};
    }

    // A user of its own: the program's settings, session and caches, the
    // private session bus, the installed programs first on the PATH, and no
    // catalogue started (the port is shared with other tests).
    QProcessEnvironment userEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        for (const char* name :
             {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            env.insert(name, home.path() + "/" + name);
        env.insert("PATH", installed("bin") + ":" + env.value("PATH"));
        env.insert("KOLVADECK_SEARCH_HOST", "127.0.0.1:9");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    static inline QTemporaryDir* prefix_ = nullptr;
    static inline bool installed_ = false;
    QTemporaryDir home;
};

// The mixer state a test sets and expects to find unchanged.
struct MixerState {
    std::vector<int> sink, source;
    bool sinkMuted = true, sourceMuted = true;
    bool operator==(const MixerState&) const = default;
};
std::string describe(const MixerState& m) {
    const auto percent = [](const std::vector<int>& v) {
        return v.empty() ? std::string("?") : std::to_string(v.front()) + "%";
    };
    return "speakers " + percent(m.sink) + (m.sinkMuted ? " muted" : "") + ", microphone " +
           percent(m.source) + (m.sourceMuted ? " muted" : "");
}
MixerState readMixer() {
    return {pactl::sinkVolume(), pactl::sourceVolume(), pactl::sinkMuted(), pactl::sourceMuted()};
}

QString player(const QStringList& args) {
    return runProgram("playerctl", QStringList{"-p", "kolvadeck"} + args,
                      QProcessEnvironment::systemEnvironment(), 10000)
        .out.trimmed();
}
} // namespace

TEST_F(InstalledProgram, DesktopEntryMetainfoAndIconPassTheDesktopsValidators) {
    const Finished entry =
        runProgram("desktop-file-validate", {installed("share/applications/kolvadeck.desktop")});
    EXPECT_TRUE(entry.finished && entry.exitCode == 0 && entry.out.isEmpty())
        << qPrintable(entry.out + entry.err);
    // The tree as a software centre reads it: the metainfo, the desktop entry
    // it launches and the icon that entry names.
    const Finished tree =
        runProgram("appstreamcli", {"validate-tree", "--no-net", prefix_->path()});
    EXPECT_TRUE(tree.finished && tree.exitCode == 0) << qPrintable(tree.out + tree.err);
    const Finished metainfo = runProgram(
        "appstreamcli",
        {"validate", "--no-net", installed("share/metainfo/org.kolvadeck.Kolvadeck.metainfo.xml")});
    EXPECT_TRUE(metainfo.finished && metainfo.exitCode == 0)
        << qPrintable(metainfo.out + metainfo.err);
    EXPECT_TRUE(QFile::exists(
        installed("share/icons/hicolor/256x256/apps/" + entryValue("Icon") + ".png")));

    // The formats the decks play open with it from a file manager.
    const QStringList types = entryValue("MimeType").split(';', Qt::SkipEmptyParts);
    for (const char* type : {"audio/mpeg", "audio/flac", "audio/ogg", "audio/opus", "audio/wav",
                             "audio/aiff", "audio/mp4", "audio/aac"})
        EXPECT_TRUE(types.contains(type)) << type;
}

TEST_F(InstalledProgram, HelpAndVersionPrintAndTouchNeitherWindowNorMixer) {
    pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "40%"});
    pactl::run({"set-source-volume", "@DEFAULT_SOURCE@", "50%"});
    pactl::run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
    const MixerState before = readMixer();
    ASSERT_EQ(before.sink, (std::vector<int>{40, 40}))
        << "the private sound server is not reachable";

    const Finished version = runProgram(program(), {"--version"}, userEnvironment(), 15000);
    const MixerState afterVersion = readMixer();
    const Finished help = runProgram(program(), {"--help"}, userEnvironment(), 15000);
    const MixerState afterHelp = readMixer();
    pactl::resetToFullVolume();

    EXPECT_TRUE(afterVersion == before) << "--version set the system mixer: " << describe(before)
                                        << " became " << describe(afterVersion);
    EXPECT_TRUE(afterHelp == before)
        << "--help set the system mixer: " << describe(before) << " became " << describe(afterHelp);
    EXPECT_TRUE(version.finished && version.exitCode == 0);
    EXPECT_TRUE(help.finished && help.exitCode == 0);
    EXPECT_TRUE(help.out.startsWith("Usage: kolvadeck")) << qPrintable(help.out);
    EXPECT_TRUE(help.out.contains("--version"));
    EXPECT_TRUE(help.err.isEmpty() && version.err.isEmpty()) << qPrintable(help.err + version.err);

    // The version the metainfo announces is the program's.
    QFile metainfo(installed("share/metainfo/org.kolvadeck.Kolvadeck.metainfo.xml"));
    ASSERT_TRUE(metainfo.open(QIODevice::ReadOnly));
    const QString released = QRegularExpression(QStringLiteral("<release version=\"([^\"]+)\""))
                                 .match(QString::fromUtf8(metainfo.readAll()))
                                 .captured(1);
    ASSERT_FALSE(released.isEmpty());
    EXPECT_TRUE(QRegularExpression("^Kolvadeck v?" + QRegularExpression::escape(released) + "\n$")
                    .match(version.out)
                    .hasMatch())
        << qPrintable(version.out);

    const Finished catalogue = runProgram(installed("bin/kolvadeck-catalog"), {"--help"});
    EXPECT_TRUE(catalogue.finished && catalogue.exitCode == 0) << qPrintable(catalogue.err);
}

TEST_F(InstalledProgram, StartedAsTheDesktopStartsItPlaysItsFilesAndTakesMoreWhileRunning) {
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    peer::Workspace work;
    // Decoded by the FFmpeg module, which must come from the installed tree.
    const std::string flac = work.pathOf("first tone.flac");
    peer::run("sox", {"-n", "-r", "44100", "-c", "2", QString::fromStdString(flac), "synth", "30",
                      "sine", "440"});
    const std::string second = tonefiles::mp3({.frequency = 660, .seconds = 30});
    const std::string third = tonefiles::mp3({.frequency = 880, .seconds = 30});

    // The entry's Exec line, %F standing for the files chosen, its program
    // found on the user's PATH as a desktop finds it.
    const QStringList path = userEnvironment().value("PATH").split(':');
    const auto command = [&path](const QStringList& files) {
        QStringList words = entryValue("Exec").split(' ', Qt::SkipEmptyParts);
        if (!words.isEmpty())
            words[0] = QStandardPaths::findExecutable(words[0], path);
        const qsizetype at = words.indexOf("%F");
        if (at >= 0) {
            words.removeAt(at);
            for (qsizetype i = 0; i < files.size(); ++i)
                words.insert(at + i, files[i]);
        }
        return words;
    };
    QStringList first = command({QString::fromStdString(flac), QString::fromStdString(second)});
    ASSERT_FALSE(first.isEmpty());
    QProcess program;
    program.setProcessEnvironment(userEnvironment());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setWorkingDirectory(home.path());
    program.start(first.takeFirst(), first);
    ASSERT_TRUE(program.waitForStarted(10000));
    const bool registered = QTest::qWaitFor(
        [&] {
            return program.state() == QProcess::NotRunning ||
                   runProgram("dbus-send",
                              {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                               "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                               "string:org.mpris.MediaPlayer2.kolvadeck"})
                       .out.contains("boolean true");
        },
        30000);
    ASSERT_TRUE(registered && program.state() == QProcess::Running)
        << "the installed program did not come up";

    // A second start with a file hands it to the running one and ends.
    QStringList more = command({QString::fromStdString(third)});
    const Finished handOver = runProgram(more.takeFirst(), more, userEnvironment(), 20000);
    EXPECT_TRUE(handOver.finished && handOver.exitCode == 0) << qPrintable(handOver.err);
    EXPECT_EQ(program.state(), QProcess::Running);

    player({"play"});
    EXPECT_TRUE(QTest::qWaitFor([] { return player({"status"}) == "Playing"; }, 20000));
    EXPECT_EQ(player({"metadata", "xesam:url"}).toStdString(),
              QUrl::fromLocalFile(QString::fromStdString(flac)).toEncoded().toStdString())
        << "the first file did not play";

    runProgram("dbus-send",
               {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.kolvadeck",
                "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    // The playlist kept for the next start holds the three files in order.
    QFile kept(home.path() + "/XDG_STATE_HOME/Kolvadeck/playlist.kvd");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(kept.readAll()).split("\r\n", Qt::SkipEmptyParts),
              (QStringList{QString::fromStdString(flac), QString::fromStdString(second),
                           QString::fromStdString(third)}));
    pactl::resetToFullVolume();
}
