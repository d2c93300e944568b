#include "tests/decks/TransitionSet.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace transitions {

namespace {

constexpr int kRate = 44100;
constexpr double kSilenceDb = -45; // below it the mix is silent and a tone absent
// Where a tone starts: a soft start rises through kSilenceDb some time after.
constexpr double kOnsetDb = -70;
constexpr double kPi = std::numbers::pi;
using Cx = std::complex<double>;

// ---- K-weighting (ITU-R BS.1770): a high shelf and a high-pass, designed
// for any rate from their analogue prototypes.

struct Biquad {
    double b0, b1, b2, a1, a2;
    Cx response(double w) const {
        const Cx z1 = std::polar(1.0, -w), z2 = z1 * z1;
        return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    }
};

std::array<Biquad, 2> kWeighting(double rate) {
    double k = std::tan(kPi * 1681.974450955533 / rate);
    const double q = 0.7071752369554196, vh = std::pow(10.0, 3.999843853973347 / 20);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1 + k / q + k * k;
    const Biquad shelf{(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0,
                       (vh - vb * k / q + k * k) / a0, 2 * (k * k - 1) / a0,
                       (1 - k / q + k * k) / a0};
    k = std::tan(kPi * 38.13547087602444 / rate);
    const double q2 = 0.5003270373238773;
    a0 = 1 + k / q2 + k * k;
    const Biquad highPass{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q2 + k * k) / a0};
    return {shelf, highPass};
}

// The K-weighting's amplitude gain at a frequency.
double kGain(double frequency, double rate) {
    const double w = 2 * kPi * frequency / rate;
    Cx h = 1;
    for (const Biquad& b : kWeighting(rate))
        h *= b.response(w);
    return std::abs(h);
}

std::vector<double> kFiltered(const std::vector<float>& x, std::size_t from, std::size_t to,
                              double rate) {
    std::vector<double> y(x.begin() + std::ptrdiff_t(from), x.begin() + std::ptrdiff_t(to));
    for (const Biquad& b : kWeighting(rate)) {
        double s1 = 0, s2 = 0; // transposed direct form II
        for (double& v : y) {
            const double out = b.b0 * v + s1;
            s1 = b.b1 * v - b.a1 * out + s2;
            s2 = b.b2 * v - b.a2 * out;
            v = out;
        }
    }
    return y;
}

// ---- Generation

// How one track of the set is made: its kind, tone length, silences, fades, loudness.
struct Recipe {
    Kind kind;
    double tone = 5; // seconds of tone, fades and hidden silence included
    double head = 0, tail = 0, fadeIn = 0, fadeOut = 0;
    bool exponential = false;
    double lufs = -14;
};

// The play order. Each kind meets several others at its joins.
std::vector<Recipe> order() {
    using K = Kind;
    const Recipe hard{K::HardStart, 5}, cold{K::ColdEnd, 6.5}, soft{K::SoftStart, 7, 0, 0, 3};
    const Recipe shortFade{K::ShortFadeOut, 6, 0, 0, 0, 1}, hidden{K::HiddenTrack, 11};
    auto head = [](double s, double lufs = -14) {
        return Recipe{K::SilentHead, 5, s, 0, 0, 0, 0, lufs};
    };
    auto tail = [](double s) { return Recipe{K::SilentTail, 5, 0, s}; };
    auto fade = [](double tone, double s, bool exp) {
        return Recipe{K::LongFadeOut, tone, 0, 0, 0, s, exp};
    };
    auto loud = [](Recipe s, double lufs) { return s.lufs = lufs, s; };
    const Recipe album{K::Album};
    return {hard,
            cold,
            head(1.5),
            fade(10, 6, false),
            soft,
            shortFade,
            tail(2),
            head(2, -24),
            album,
            album,
            album,
            cold,
            hidden,
            hard,
            fade(12, 8, true),
            loud(cold, -9),
            soft,
            tail(3),
            cold,
            shortFade,
            loud(hard, -22),
            fade(9, 4, false),
            head(1),
            album,
            album,
            album,
            tail(2.5),
            soft,
            hidden,
            loud(cold, -10),
            shortFade,
            head(1.2),
            fade(10, 5, true),
            loud(hard, -24),
            tail(2),
            shortFade,
            cold,
            soft,
            fade(11, 7, false),
            hidden};
}

// Lengths of the three files of an album, cut off any codec frame grid.
constexpr std::array<std::int64_t, 3> kAlbumFrames{220501, 176417, 264599};
constexpr std::array<double, 2> kAlbumFrequencies{340, 420};
const std::array<const char*, 6> kFormats{"mp3", "flac", "ogg", "opus", "wav", "m4a"};

bool nearHarmonic(double a, double b) {
    const double r = std::max(a, b) / std::min(a, b);
    for (double h : {1.5, 2.0, 2.5, 3.0, 4.0, 5.0})
        if (std::abs(r - h) < 0.03 * h)
            return true;
    return false;
}

// Frequencies 480..2960 Hz on a 40 Hz grid, each used once; tracks up to three
// apart are at least 300 Hz apart and not near-harmonic, so the analyser's
// filters keep them apart.
double pickFrequency(std::vector<double>& pool, const std::vector<Track>& before) {
    for (std::size_t i = 0; i < pool.size(); ++i) {
        const double f = pool[i];
        bool fits = true;
        for (std::size_t back = 1; back <= 3 && back <= before.size(); ++back) {
            const double g = before[before.size() - back].frequency;
            fits = fits && std::abs(f - g) >= 300 && !nearHarmonic(f, g);
        }
        if (fits) {
            pool.erase(pool.begin() + std::ptrdiff_t(i));
            return f;
        }
    }
    throw std::runtime_error("no frequency left for the transition set");
}

// Amplitude of a stereo sine of this K-weighted loudness.
double amplitudeFor(double lufs, double frequency) {
    return std::pow(10.0, (lufs + 0.691) / 20) / kGain(frequency, kRate);
}

QStringList encoderArgs(const std::string& format) {
    if (format == "mp3")
        return {"-c:a", "libmp3lame", "-b:a", "192k", "-id3v2_version", "3", "-write_id3v1", "1"};
    if (format == "flac")
        return {"-c:a", "flac"};
    if (format == "ogg")
        return {"-c:a", "libvorbis", "-q:a", "5"};
    if (format == "opus")
        return {"-c:a", "libopus", "-b:a", "128k"};
    if (format == "m4a")
        // The edit list in the track's own timescale, so that it states the
        // length to the sample (in the default 1/1000 s it is rounded to the
        // millisecond, and a gapless join then loses up to 44 samples).
        return {"-c:a", "aac", "-b:a", "192k", "-aac_coder", "fast", "-movie_timescale", "44100"};
    return {"-c:a", "pcm_s16le"};
}

// The track's samples (one channel), from sample `offset` of its sine on.
std::vector<float> synthesise(const Track& t, std::int64_t offset, std::int64_t frames) {
    auto at = [](double seconds) { return double(std::llround(seconds * kRate)); };
    const double start = at(t.toneStart), end = at(t.toneEnd), fadeIn = at(t.fadeIn);
    const double fadeOut = at(t.fadeOut), hiddenFrom = at(t.hiddenFrom), hiddenTo = at(t.hiddenTo);
    std::vector<float> x(std::size_t(frames), 0.0f);
    for (std::int64_t i = 0; i < frames; ++i) {
        const double n = double(i);
        if (n < start || n >= end || (n >= hiddenFrom && n < hiddenTo))
            continue;
        double gain = fadeIn > 0 ? std::min(1.0, (n - start) / fadeIn) : 1;
        const double left = fadeOut > 0 ? (end - n) / fadeOut : 1; // of the fade, 1..0
        if (left < 1)
            gain *= t.fadeOutExponential ? std::exp(6.907755 * (left - 1)) : left; // -60 dB
        x[std::size_t(i)] = float(gain * t.amplitude *
                                  std::sin(2 * kPi * t.frequency * double(i + offset) / kRate));
    }
    return x;
}

// Writes the samples as raw floats and returns ffmpeg's arguments to read them
// as stereo.
QStringList sourceArgs(const std::vector<float>& x, const QString& rawPath) {
    QFile f(rawPath);
    const auto bytes = qint64(x.size() * sizeof(float));
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(reinterpret_cast<const char*>(x.data()), bytes) != bytes)
        throw std::runtime_error("cannot write " + rawPath.toStdString());
    return {"-hide_banner",         "-loglevel", "error", "-y", "-f",    "f32le", "-ar",
            QString::number(kRate), "-ac",       "1",     "-i", rawPath, "-ac",   "2"};
}

void checkFinished(QProcess& p) {
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error("ffmpeg failed: " + p.readAllStandardError().toStdString());
}

// Runs ffmpeg with each of these arguments, two at a time (the machines this
// runs on are small).
void runAll(const std::vector<QStringList>& commands) {
    for (std::size_t i = 0; i < commands.size(); i += 2) {
        QProcess pair[2];
        const std::size_t count = std::min<std::size_t>(2, commands.size() - i);
        for (std::size_t j = 0; j < count; ++j)
            pair[j].start("ffmpeg", commands[i + j]);
        for (std::size_t j = 0; j < count; ++j)
            checkFinished(pair[j]);
    }
}

int bigEndian(const QByteArray& d, qsizetype at, int bytes) {
    int v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return v;
}

// Where the encoded file keeps its delay and padding.
Gapless readGapless(const std::string& path, const std::string& format) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    const QByteArray d = f.readAll();
    Gapless g;
    if (format == "mp3") {
        // The Info frame's LAME tag (written after the 120-byte Info header)
        // holds 12 bits of encoder delay and 12 of padding; decoders also
        // drop their own 529 samples.
        qsizetype info = d.indexOf("Info");
        if (info < 0)
            info = d.indexOf("Xing");
        const qsizetype at = info + 120 + 21;
        if (info < 0 || at + 3 > d.size())
            return g;
        const int bits = bigEndian(d, at, 3);
        g = {"LAME tag", (bits >> 12) + 529, bits & 0xfff, kRate};
    } else if (format == "opus") {
        const qsizetype head = d.indexOf("OpusHead");
        if (head >= 0 && head + 12 <= d.size())
            g = {"OpusHead pre-skip", bigEndian(d, head + 11, 1) << 8 | bigEndian(d, head + 10, 1),
                 -1, 48000};
        g.where += ", end by the last page's granule position";
    } else if (format == "m4a") {
        // First edit: version-0 entry (segment duration, media time).
        const qsizetype elst = d.indexOf("elst");
        if (elst >= 0 && elst + 20 <= d.size())
            g = {"edit list media time", bigEndian(d, elst + 16, 4), -1, kRate};
    } else if (format == "ogg") {
        g.where = "granule positions";
    }
    return g;
}

} // namespace

const char* kindName(Kind kind) {
    static const std::array<const char*, 9> names{"cold end",    "long fade-out", "short fade-out",
                                                  "silent head", "silent tail",   "soft start",
                                                  "hard start",  "hidden track",  "album"};
    return names[std::size_t(kind)];
}

Set generateTransitionSet(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<double> pool;
    for (double f = 480; f <= 2960; f += 40)
        pool.push_back(f);
    // Spread the picks over the range: start each search at a stride.
    std::rotate(pool.begin(), pool.begin() + 29, pool.end());

    Set set;
    std::vector<QStringList> commands;
    std::int64_t albumOffset = 0;
    const auto recipes = order();
    for (std::size_t i = 0; i < recipes.size(); ++i) {
        const Recipe& s = recipes[i];
        Track t;
        t.kind = s.kind;
        t.format = kFormats[i % kFormats.size()];
        t.title = "Tone " + std::to_string(i + 1);
        t.artist = std::string("Kolvadeck ") + kindName(s.kind);
        if (s.kind == Kind::Album) {
            const bool first = i == 0 || recipes[i - 1].kind != Kind::Album;
            if (first) {
                const std::size_t a = set.albums.size();
                const double f = kAlbumFrequencies[a];
                set.albums.push_back({i, 3, f, amplitudeFor(-14, f), 0, ""});
                albumOffset = 0;
            }
            Album& album = set.albums.back();
            t.trackNumber = int(i - album.first) + 1;
            // One sequence as MP3 (gapless by its LAME tag); one whose parts
            // each hide their ends differently: Opus (pre-skip, end granule),
            // M4A (AAC priming and padding in an edit list), FLAC (none).
            static const std::array<const char*, 3> kMixed{"opus", "m4a", "flac"};
            t.format = set.albums.size() == 1 ? "mp3" : kMixed[std::size_t(t.trackNumber - 1)];
            t.frequency = album.frequency;
            t.amplitude = album.amplitude;
            t.album = "Continuous " + std::to_string(set.albums.size());
            t.artist = "Kolvadeck album";
            t.frames = kAlbumFrames[std::size_t(t.trackNumber - 1)];
            album.frames += t.frames;
        } else {
            t.frequency = pickFrequency(pool, set.tracks);
            t.amplitude = amplitudeFor(s.lufs, t.frequency);
            t.frames = std::llround((s.head + s.tone + s.tail) * kRate);
        }
        t.loudness = s.kind == Kind::Album ? -14 : s.lufs;
        t.seconds = double(t.frames) / kRate;
        t.toneStart = s.head;
        t.toneEnd = s.kind == Kind::Album ? t.seconds : s.head + s.tone;
        t.fadeIn = s.fadeIn;
        t.fadeOut = s.fadeOut;
        t.fadeOutExponential = s.exponential;
        if (s.kind == Kind::HiddenTrack)
            t.hiddenFrom = 3, t.hiddenTo = 9;
        t.path = QDir(QString::fromStdString(folder))
                     .filePath(QString("%1-%2.%3")
                                   .arg(i + 1, 2, 10, QChar('0'))
                                   .arg(QString(kindName(s.kind)).replace(' ', '-'))
                                   .arg(QString::fromStdString(t.format)))
                     .toStdString();
        QStringList args = sourceArgs(synthesise(t, albumOffset, t.frames),
                                      QString::fromStdString(t.path + ".raw"));
        args << encoderArgs(t.format) << "-metadata" << QString::fromStdString("title=" + t.title)
             << "-metadata" << QString::fromStdString("artist=" + t.artist);
        if (!t.album.empty())
            args << "-metadata" << QString::fromStdString("album=" + t.album) << "-metadata"
                 << QString("track=%1").arg(t.trackNumber);
        commands.push_back(args << QString::fromStdString(t.path));
        if (s.kind == Kind::Album)
            albumOffset += t.frames;
        set.tracks.push_back(t);
    }
    for (Album& a : set.albums) {
        Track whole = set.tracks[a.first];
        whole.toneEnd = double(a.frames) / kRate;
        a.referencePath =
            QDir(QString::fromStdString(folder))
                .filePath(QString("album-%1-reference.wav").arg(&a - &set.albums[0] + 1))
                .toStdString();
        commands.push_back(sourceArgs(synthesise(whole, 0, a.frames),
                                      QString::fromStdString(a.referencePath + ".raw"))
                           << "-c:a"
                           << "pcm_f32le" << QString::fromStdString(a.referencePath));
    }
    runAll(commands);
    for (const QStringList& c : commands)
        QFile::remove(c[c.indexOf("-i") + 1]);
    for (Track& t : set.tracks)
        t.gapless = readGapless(t.path, t.format);
    return set;
}

std::vector<std::vector<float>> decodeLeft(const std::vector<std::string>& paths, int rate) {
    // Into files: a decoder writing to a pipe would wait while its partner
    // is being read.
    QTemporaryDir folder;
    std::vector<QStringList> commands;
    for (std::size_t i = 0; i < paths.size(); ++i)
        commands.push_back({"-hide_banner", "-loglevel", "error", "-i",
                            QString::fromStdString(paths[i]), "-f", "f32le", "-ac", "2", "-ar",
                            QString::number(rate), folder.filePath(QString::number(i))});
    runAll(commands);
    std::vector<std::vector<float>> decoded;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        QFile f(folder.filePath(QString::number(i)));
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error("no decoded samples of " + paths[i]);
        const QByteArray raw = f.readAll();
        std::vector<float>& left = decoded.emplace_back(std::size_t(raw.size()) / 8);
        for (std::size_t j = 0; j < left.size(); ++j)
            std::memcpy(&left[j], raw.constData() + j * 8, 4);
    }
    return decoded;
}

// ---- Analysis

namespace {

// x[n]·e^{-jwn} summed from n = from: sums[i] holds the first i terms. The
// phase counts from sample 0 of x, so sums over different stretches compare.
std::vector<Cx> demodulatedSums(const std::vector<float>& x, double w, std::size_t from,
                                std::size_t to) {
    std::vector<Cx> sums(to - from + 1);
    const Cx step = std::polar(1.0, -w);
    Cx phasor;
    for (std::size_t n = from; n < to; ++n) {
        if ((n - from) % 4096 == 0) // fresh every few thousand steps, against drift
            phasor = std::polar(1.0, -w * double(n));
        sums[n - from + 1] = sums[n - from] + double(x[n]) * phasor;
        phasor *= step;
    }
    return sums;
}

// A tone's level (RMS, dBFS) every 10 ms hop: the demodulated signal through
// three 10 ms boxcars, whose nulls fall on every multiple of 100 Hz and whose
// side lobes are below -60 dB from 300 Hz off. Edges come out within about
// +-10 ms of the sound's.
struct Trace {
    std::size_t from = 0; // first hop
    std::vector<double> db;
    double dbAt(std::size_t h) const {
        return h >= from && h - from < db.size() ? db[h - from] : -300;
    }
    bool present(std::size_t h) const { return dbAt(h) > kSilenceDb; }
};

Trace makeTrace(const std::vector<float>& x, int rate, double frequency, std::size_t fromHop,
                std::size_t toHop) {
    const std::size_t hop = std::size_t(rate) / 100, delay = 3 * (hop - 1) / 2;
    const std::size_t a = fromHop * hop, b = std::min(x.size(), toHop * hop + delay);
    const double w = 2 * kPi * frequency / rate;
    const Cx step = std::polar(1.0, -w);
    std::array<std::vector<Cx>, 3> rings{std::vector<Cx>(hop), std::vector<Cx>(hop),
                                         std::vector<Cx>(hop)};
    std::array<Cx, 3> sums{};
    Cx phasor;
    Trace t{fromHop, {}};
    for (std::size_t n = a, slot = 0; n < b; ++n, slot = (slot + 1) % hop) {
        if ((n - a) % 4096 == 0) // fresh every few thousand steps, against drift
            phasor = std::polar(1.0, -w * double(n));
        Cx v = double(x[n]) * phasor;
        phasor *= step;
        for (std::size_t s = 0; s < 3; ++s) {
            sums[s] += v - rings[s][slot];
            rings[s][slot] = v;
            v = sums[s] / double(hop);
        }
        // v is now the smoothed value at n - delay; keep it at each hop's centre.
        if (n >= a + delay && (n - delay - a) % hop == hop / 2) // 2|v| is the amplitude
            t.db.push_back(20 * std::log10(std::max(std::abs(v) * std::numbers::sqrt2, 1e-15)));
    }
    return t;
}

constexpr std::size_t kMinRun = 5; // hops: a click is no sound

// The first hop of the first run of kMinRun present hops from `from`.
std::optional<std::size_t> firstSound(const Trace& t, std::size_t from) {
    std::size_t run = 0;
    for (std::size_t h = std::max(from, t.from); h < t.from + t.db.size(); ++h)
        if ((run = t.present(h) ? run + 1 : 0) == kMinRun)
            return h + 1 - kMinRun;
    return std::nullopt;
}

// The last hop of the last such run before `to`.
std::optional<std::size_t> lastSound(const Trace& t, std::size_t from, std::size_t to) {
    std::size_t run = 0;
    for (std::size_t h = std::min(to, t.from + t.db.size()); h-- > std::max(from, t.from);)
        if ((run = t.present(h) ? run + 1 : 0) == kMinRun)
            return h + kMinRun - 1;
    return std::nullopt;
}

// The track's usual level: the 90th percentile of its hops while it sounds.
double usualDb(const Trace& t, std::size_t first, std::size_t last) {
    std::vector<double> v;
    for (std::size_t h = first; h <= last; ++h)
        if (t.present(h))
            v.push_back(t.dbAt(h));
    if (v.empty())
        return kSilenceDb;
    auto at = v.begin() + std::ptrdiff_t(v.size() * 9 / 10);
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

bool continues(const Set& set, std::size_t k) {
    if (k + 1 >= set.tracks.size())
        return false;
    const Track &a = set.tracks[k], &b = set.tracks[k + 1];
    return a.kind == Kind::Album && b.kind == Kind::Album && a.album == b.album &&
           a.trackNumber + 1 == b.trackNumber;
}

// An album join expected at sample e: the samples inserted (> 0) or lost
// (< 0) there, and the longest silence. A shift shows as a phase jump of the
// continuous sine between the second before and the second after (1 s fits,
// 0.2 s clear of the join), known modulo one period; a silence gives the
// whole periods.
struct AlbumFit {
    std::int64_t shift = 0, silence = 0;
};

AlbumFit fitAlbumJoin(const std::vector<float>& x, int rate, double frequency, std::int64_t e) {
    const double w = 2 * kPi * frequency / rate, period = rate / frequency;
    const std::int64_t clear = rate / 5, fit = rate, size = std::int64_t(x.size());
    auto sum = [&](std::int64_t a, std::int64_t b) {
        a = std::clamp<std::int64_t>(a, 0, size), b = std::clamp<std::int64_t>(b, a, size);
        return demodulatedSums(x, w, std::size_t(a), std::size_t(b)).back();
    };
    const Cx before = sum(e - clear - fit, e - clear);
    const double floor = 0.05 * 2 * std::abs(before) / double(fit);
    std::int64_t run = 0, runEnd = e;
    AlbumFit r;
    for (std::int64_t n = std::max<std::int64_t>(0, e - clear); n < std::min(size, e + fit); ++n) {
        run = std::abs(x[std::size_t(n)]) < floor ? run + 1 : 0;
        if (run >= 4 && run > r.silence)
            r.silence = run, runEnd = n + 1;
    }
    const Cx after = sum(std::max(e, runEnd) + clear, std::max(e, runEnd) + clear + fit);
    const double shift = -std::arg(after / before) / w - double(r.silence);
    r.shift = r.silence + std::llround(shift - period * std::round(shift / period));
    return r;
}

// The hand-over's loudness: the peak momentary loudness (400 ms, K-weighted)
// of the mix from 0.2 s before to 0.2 s after the stretch between the two
// tracks' edges, over the louder of the two tracks' own peak momentary
// loudness within 4 s of it. Each track's own loudness is its tone's band
// energy, K-weighted by the filter's gain at its frequency. (Comparing the
// two window by window would call every clean butt join +3 LU: a window
// across it holds half of each.)
double excessLu(const std::vector<float>& x, int rate, const Track& out, const Track& in,
                std::int64_t lastEnd, std::int64_t firstStart) {
    const std::int64_t size = std::int64_t(x.size()), half = rate / 5, hop = rate / 100;
    auto clamp = [&](std::int64_t n) { return std::clamp<std::int64_t>(n, 0, size); };
    const std::int64_t r0 = clamp(std::min(lastEnd, firstStart) - half);
    const std::int64_t r1 = clamp(std::max(lastEnd, firstStart) + half);
    const std::int64_t e0 = clamp(r0 - 4 * rate - half), e1 = clamp(r1 + 4 * rate + half);
    auto ownPeak = [&](const Track& t, std::int64_t a, std::int64_t b) {
        const auto s =
            demodulatedSums(x, 2 * kPi * t.frequency / rate, std::size_t(e0), std::size_t(e1));
        const double k = kGain(t.frequency, rate);
        double peak = 0;
        for (std::int64_t c = std::max(a, e0 + half); c <= std::min(b, e1 - half); c += hop) {
            const Cx mean =
                (s[std::size_t(c + half - e0)] - s[std::size_t(c - half - e0)]) / double(2 * half);
            peak = std::max(peak, 2 * std::norm(mean) * k * k);
        }
        return peak;
    };
    const double louder =
        std::max(ownPeak(out, r0 - 4 * rate, lastEnd), ownPeak(in, firstStart, r1 + 4 * rate));
    const std::int64_t k0 = clamp(r0 - half - rate / 2); // half a second for the filter to settle
    const auto y = kFiltered(x, std::size_t(k0), std::size_t(clamp(r1 + half)), rate);
    std::vector<double> energy(y.size() + 1);
    for (std::size_t i = 0; i < y.size(); ++i)
        energy[i + 1] = energy[i] + y[i] * y[i];
    double mix = 0;
    for (std::int64_t c = std::max(r0, k0 + half); c + half - k0 < std::int64_t(energy.size());
         c += hop)
        mix = std::max(mix,
                       (energy[std::size_t(c + half - k0)] - energy[std::size_t(c - half - k0)]) /
                           double(2 * half));
    return louder > 0 && mix > 0 ? 10 * std::log10(mix / louder) : 0;
}

} // namespace

std::vector<Join> analyseJoins(const std::vector<float>& x, int rate, const Set& set) {
    const std::size_t n = set.tracks.size(), hop = std::size_t(rate) / 100;
    const std::size_t hops = x.size() / hop;
    std::vector<double> mixDb(hops);
    for (std::size_t h = 0; h < hops; ++h) {
        double sum = 0;
        for (std::size_t i = h * hop; i < (h + 1) * hop; ++i)
            sum += double(x[i]) * x[i];
        mixDb[h] = 10 * std::log10(std::max(sum / double(hop), 1e-30));
    }
    // Each track is looked for from where the one before began; its trace
    // reaches past both tracks' lengths with 12 s to spare.
    std::vector<Trace> traces(n);
    std::vector<std::optional<std::size_t>> firstHop(n), lastHop(n);
    std::vector<std::int64_t> firstStart(n), lastEnd(n);
    std::vector<AlbumFit> fits(n);
    std::size_t from = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Track& t = set.tracks[k];
        const double reach = (k ? set.tracks[k - 1].seconds : 60) + t.seconds + 12;
        traces[k] =
            makeTrace(x, rate, t.frequency, from, std::min(hops, from + std::size_t(reach * 100)));
        if (k > 0 && continues(set, k - 1)) {
            if (!firstHop[k - 1])
                continue;
            const std::int64_t e =
                firstStart[k - 1] + std::llround(double(set.tracks[k - 1].frames) * rate / kRate);
            if (e + rate >= std::int64_t(x.size()))
                continue;
            fits[k - 1] = fitAlbumJoin(x, rate, t.frequency, e);
            lastEnd[k - 1] = e;
            lastHop[k - 1] = std::size_t(e) / hop;
            firstStart[k] = e + fits[k - 1].shift;
            firstHop[k] = std::size_t(firstStart[k]) / hop;
        } else if ((firstHop[k] = firstSound(traces[k], from))) {
            firstStart[k] = std::int64_t(*firstHop[k] * hop + hop); // centre + hop/2: see Trace
        }
        if (!firstHop[k])
            continue;
        from = *firstHop[k];
        // A track sounds no longer than its file lasts: later tracks near its
        // frequency stay out.
        const std::size_t to = from + std::size_t(t.seconds * 100) + 50;
        if (!continues(set, k) && (lastHop[k] = lastSound(traces[k], from, to)))
            lastEnd[k] = std::int64_t(*lastHop[k] * hop);
    }

    std::vector<Join> joins(n ? n - 1 : 0);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        Join& j = joins[k];
        j.from = k;
        j.heard = firstHop[k] && lastHop[k] && firstHop[k + 1] && lastHop[k + 1];
        if (!j.heard)
            continue;
        const Trace &out = traces[k], &in = traces[k + 1];
        const std::size_t last = *lastHop[k], first = *firstHop[k + 1];
        j.lastSound = double(lastEnd[k]) / rate;
        j.firstSound = double(firstStart[k + 1]) / rate;
        std::size_t onset = first;
        while (!continues(set, k) && onset > last + 1 && in.dbAt(onset - 1) > kOnsetDb)
            --onset;
        j.delay = double(std::int64_t(onset * hop + hop)) / rate - j.lastSound;
        std::size_t run = 0, longest = 0, both = 0;
        for (std::size_t h = last + 1; h < first; ++h)
            longest = std::max(longest, run = mixDb[h] < kSilenceDb ? run + 1 : 0);
        j.gap = std::max(double(longest) / 100, double(fits[k].silence) / rate);
        if (continues(set, k)) {
            j.alignment = std::abs(fits[k].shift);
        } else {
            for (std::size_t h = first; h <= last; ++h)
                both += out.present(h) && in.present(h);
            j.overlap = double(both) / 100;
        }
        j.excessLu =
            excessLu(x, rate, set.tracks[k], set.tracks[k + 1], lastEnd[k], firstStart[k + 1]);
        const double outUsual = usualDb(out, *firstHop[k], last) - 3;
        std::size_t h = last;
        while (h > *firstHop[k] && out.dbAt(h) < outUsual)
            --h;
        j.fall = double(last - h) / 100;
        const double inUsual = usualDb(in, first, *lastHop[k + 1]) - 3;
        for (h = first; h < *lastHop[k + 1] && in.dbAt(h) < inUsual;)
            ++h;
        j.rise = double(h - first) / 100;
    }
    return joins;
}

std::string joinTable(const std::vector<Join>& joins, const Set& set) {
    std::string table = "join   outgoing -> incoming              delay    gap  overlap  excess"
                        "   fall   rise  align\n";
    for (const Join& j : joins) {
        const std::string kinds = std::string(kindName(set.tracks[j.from].kind)) + " -> " +
                                  kindName(set.tracks[j.from + 1].kind);
        QString line = QString("%1-%2  %3")
                           .arg(j.from, 2)
                           .arg(j.from + 1, -2)
                           .arg(QString::fromStdString(kinds), -33);
        if (!j.heard)
            line += " not heard";
        else
            line += QString("%1 %2 %3 %4 %5 %6 %7")
                        .arg(j.delay, 6, 'f', 3)
                        .arg(j.gap, 6, 'f', 3)
                        .arg(j.overlap, 8, 'f', 2)
                        .arg(j.excessLu, 7, 'f', 2)
                        .arg(j.fall, 6, 'f', 2)
                        .arg(j.rise, 6, 'f', 2)
                        .arg(j.alignment ? QString::number(*j.alignment) : QString("-"), 6);
        table += line.toStdString() + "\n";
    }
    return table;
}

} // namespace transitions
