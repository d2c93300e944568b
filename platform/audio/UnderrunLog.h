#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace audio {

// Reports the sound output's underruns in the "kolvadeck.audio" log: the total
// once, when the program ends (this object is destroyed; a warning when there
// were any), and with verbose on (which turns that log's info lines on) also
// the real-time scheduling state once the output runs and each growth of the
// count, checked on a one-second timer of the main thread.
class UnderrunLog : public QObject {
public:
    explicit UnderrunLog(bool verbose);
    ~UnderrunLog() override;

private:
    void check();

    QTimer timer_;
    std::uint64_t shown_ = 0;
    bool stateShown_ = false;
};

} // namespace audio
