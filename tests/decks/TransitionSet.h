#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A playlist of test tracks whose hand-overs are known, and an analyser that
// measures those hand-overs in a recording of the list played in order.
//
// Every track is a steady sine of its own frequency, so the analyser tells
// which track sounds when from the recording alone (no timing from the
// player). Tracks are stereo with both channels alike; the analyser reads one
// channel.
namespace transitions {

// The shape a track is made to test. Every track also has a start and an
// end of some shape (see Track), these name what it is there for.
enum class Kind {
    ColdEnd,      // full level to the last sample, then the file ends
    LongFadeOut,  // 4-8 s fade to silence at the end
    ShortFadeOut, // 1 s fade to silence
    SilentHead,   // 1-2 s of digital silence before the tone
    SilentTail,   // 2-3 s of digital silence after the tone
    SoftStart,    // 3 s linear fade-in
    HardStart,    // full level from the first sample
    HiddenTrack,  // tone, 6 s of silence, tone again, end
    Album,        // one of three files cut from one continuous sine
};
const char* kindName(Kind kind);

// Where a format keeps its encoder delay and end padding, as read from the
// file. The decoders that honour it (ffmpeg's, mpg123's) return exactly
// `frames` samples; the others return delay + frames + padding.
struct Gapless {
    std::string where; // "LAME tag", "OpusHead pre-skip", "edit list", or "" (none)
    int delay = 0;     // samples at the file's coded rate to drop at the start
    int padding = 0;   // samples to drop at the end; -1: the format does not say
    int codedRate = 44100;
};

// The truth of one track. Times are seconds in the file (as decoded without
// encoder delay), at 44.1 kHz.
struct Track {
    std::string path;
    std::string format; // the extension: mp3, flac, ogg, opus, wav, m4a
    Kind kind = Kind::ColdEnd;
    double frequency = 0; // Hz
    double amplitude = 0; // peak of the full-level sine
    double loudness = 0;  // LUFS of the full-level sine (stereo, K-weighted)
    std::int64_t frames = 0;
    double seconds = 0;              // frames / 44100
    double toneStart = 0;            // first sample of the tone (after a silent head)
    double toneEnd = 0;              // end of the tone (end of its fade-out), before a silent tail
    double fadeIn = 0;               // linear amplitude ramp from toneStart
    double fadeOut = 0;              // fade ending at toneEnd
    bool fadeOutExponential = false; // -60 dB over fadeOut (linear in dB), else linear amplitude
    double hiddenFrom = 0, hiddenTo = 0; // the silence inside a hidden track (0, 0: none)
    std::string title, artist, album;    // album empty except Kind::Album
    int trackNumber = 0;                 // 1..3 in an album, else 0
    Gapless gapless;
};

// One album sequence: `count` files from `first` on, cut from this sine
// A*sin(2*pi*f*n/44100) at n = 0 on the first file's first sample.
struct Album {
    std::size_t first = 0;
    std::size_t count = 3;
    double frequency = 0;
    double amplitude = 0;
    std::int64_t frames = 0;   // the whole sequence
    std::string referencePath; // the uncut sequence as a float WAV
};

struct Set {
    std::vector<Track> tracks; // in play order
    std::vector<Album> albums;
};

// Makes the set's files in `folder` with ffmpeg (two encoders at a time) and
// returns their truth: 40 tracks, about 4.5 minutes in all, in play order.
// Throws std::runtime_error when ffmpeg is missing or fails.
Set generateTransitionSet(const std::string& folder);

// The left channel of each file decoded by ffmpeg at `rate` as float samples
// (two decoders at a time). Throws std::runtime_error when one fails.
std::vector<std::vector<float>> decodeLeft(const std::vector<std::string>& paths, int rate = 44100);

// What the analyser measured at the hand-over from track k to k + 1. Times in
// seconds, to about 10 ms (album joins: to the sample); positions are
// seconds in the recording.
struct Join {
    std::size_t from = 0;  // k
    bool heard = false;    // both tracks were found in the recording
    double lastSound = 0;  // k's last sound (its tone above -45 dBFS)
    double firstSound = 0; // k + 1's first sound
    // From lastSound to k + 1's onset (its tone above -70 dBFS, which a soft
    // start passes before firstSound): the hand-over of a cold ending.
    double delay = 0;
    double gap = 0;     // the longest silence of the mix (below -45 dBFS) between them
    double overlap = 0; // time both tones sound above -45 dBFS
    // The mix's peak momentary loudness (400 ms, K-weighted) around the join
    // over the louder track's own peak within 4 s of it (its tone's band
    // energy, K-weighted): +3 for two equal tracks at full level together,
    // about 0 for a clean butt join, below 0 for a dip.
    double excessLu = 0;
    // From k's last moment within 3 dB of its usual level (90th percentile)
    // to its last sound: about 0 for a cold end, most of a fade-out.
    double fall = 0;
    // From k + 1's first sound to within 3 dB of its usual level: about 0 for
    // a hard start, most of a fade-in.
    double rise = 0;
    // Album joins: |samples| inserted or lost, from the sine's phase jump
    // across the join (known modulo one period, 130 samples at 340 Hz) plus
    // the length of any silence there.
    std::optional<std::int64_t> alignment;
};

// Measures every join of `set` in a recording of the list played in order
// from track 0 (mono, at `rate`; up to a minute of leading silence is fine).
// Each track is followed by its tone's level every 10 ms (the recording
// demodulated at its frequency, smoothed over 30 ms); album joins are found
// by the album files' lengths from where the album began. A track missing
// from the recording, or starting more than 12 s after the one before should
// have ended, leaves its joins with heard = false.
std::vector<Join> analyseJoins(const std::vector<float>& recording, int rate, const Set& set);

// The joins as a table, one line each, with the tracks' kinds.
std::string joinTable(const std::vector<Join>& joins, const Set& set);

} // namespace transitions
