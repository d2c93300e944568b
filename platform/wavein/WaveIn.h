#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class QObject;

// A wave-in (sound input) interface shaped like the Windows one: open a device
// with a PCM format, prepare and add buffers, start, reset, close. Filled
// buffers come back in the order they were added, reported either
//  - to a window object on the main thread: a WaveInEvent (WaveInEvent.h) is
//    posted to `callback.window` for MM_WIM_OPEN, MM_WIM_DATA and MM_WIM_CLOSE;
//  - or to a function called on the capture thread (for the virtual input: on
//    the thread that advances its clock). The function must not call
//    waveInReset or waveInClose; waveInAddBuffer is allowed.
//
// Back ends: PortAudio input (the default device reaches PulseAudio/PipeWire)
// and a virtual input fed by tests (VirtualWaveIn.h). The environment variable
// KOLVADECK_AUDIO=virtual selects the virtual input for the whole program;
// wavein::UseBackend overrides that (tests).
namespace wavein {

using MMRESULT = unsigned;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr int WAVE_MAPPER = -1; // the system's preferred input
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

constexpr std::uint32_t WHDR_DONE = 0x01;
constexpr std::uint32_t WHDR_PREPARED = 0x02;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

constexpr unsigned MM_WIM_OPEN = 0x3BE;
constexpr unsigned MM_WIM_CLOSE = 0x3BF;
constexpr unsigned MM_WIM_DATA = 0x3C0;

constexpr unsigned CALLBACK_WINDOW = 0x10000;
constexpr unsigned CALLBACK_FUNCTION = 0x30000;
constexpr unsigned WAVE_ALLOWSYNC = 0x0002;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag = WAVE_FORMAT_PCM;
    std::uint16_t nChannels = 1;
    std::uint32_t nSamplesPerSec = 22050;
    std::uint32_t nAvgBytesPerSec = 44100;
    std::uint16_t nBlockAlign = 2;
    std::uint16_t wBitsPerSample = 16;
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct WAVEHDR {
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    std::uintptr_t reserved = 0;
};

class WaveInDevice;
using HWAVEIN = WaveInDevice*;

// Called on the capture thread with (device, message, instance, header or 0, 0).
using WaveInProc = void (*)(HWAVEIN, unsigned msg, std::uintptr_t instance, std::uintptr_t param1,
                            std::uintptr_t param2);

// Where notifications go: flags CALLBACK_WINDOW with `window`, or
// CALLBACK_FUNCTION with `function` and `instance`; 0 for none.
struct WaveInCallback {
    unsigned flags = 0;
    QObject* window = nullptr;
    WaveInProc function = nullptr;
    std::uintptr_t instance = 0;
};

enum class Backend { FromEnvironment, PortAudio, Virtual };
// Chooses the back end for devices opened from now on.
void UseBackend(Backend backend);
Backend ActiveBackend();

unsigned waveInGetNumDevs();
MMRESULT waveInOpen(HWAVEIN* handle, int device, const WAVEFORMATEX* format,
                    const WaveInCallback& callback);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, unsigned headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, unsigned headerSize);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, unsigned headerSize);
MMRESULT waveInStart(HWAVEIN handle);
// Stops recording and returns every queued buffer, marked done, in order.
MMRESULT waveInReset(HWAVEIN handle);
// Fails with WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveInClose(HWAVEIN handle);
// Copies the English text for a result code (at most size - 1 characters).
MMRESULT waveInGetErrorTextA(MMRESULT error, char* text, unsigned size);
std::string ErrorText(MMRESULT error);

} // namespace wavein
