#include "platform/wavein/WaveIn.h"

#include "platform/wavein/PortAudioWaveInDevice.h"
#include "platform/wavein/VirtualWaveInDevice.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace wavein {
namespace {

std::atomic<Backend> g_backend{Backend::FromEnvironment};

// Handles of open devices, so that a stale or foreign handle is refused
// instead of being used after it was closed.
std::mutex g_handlesMutex;
std::set<HWAVEIN> g_handles;

bool IsOpen(HWAVEIN h) {
    std::lock_guard lock(g_handlesMutex);
    return h && g_handles.count(h) > 0;
}

bool ValidFormat(const WAVEFORMATEX* f) {
    return f && f->wFormatTag == WAVE_FORMAT_PCM && (f->nChannels == 1 || f->nChannels == 2) &&
           (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) && f->nSamplesPerSec > 0 &&
           f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
}

} // namespace

void UseBackend(Backend backend) {
    g_backend = backend;
}

Backend ActiveBackend() {
    const Backend chosen = g_backend;
    if (chosen != Backend::FromEnvironment)
        return chosen;
    const char* env = std::getenv("KOLVADECK_AUDIO");
    return env && std::strcmp(env, "virtual") == 0 ? Backend::Virtual : Backend::PortAudio;
}

unsigned waveInGetNumDevs() {
    return ActiveBackend() == Backend::Virtual ? 1u : PortAudioInputCount();
}

MMRESULT waveInOpen(HWAVEIN* handle, int device, const WAVEFORMATEX* format,
                    const WaveInCallback& callback) {
    if (!handle)
        return MMSYSERR_INVALPARAM;
    *handle = nullptr;
    const unsigned kind = callback.flags & 0x70000;
    if (kind != 0 && kind != CALLBACK_WINDOW && kind != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (!ValidFormat(format))
        return WAVERR_BADFORMAT;
    MMRESULT result;
    if (ActiveBackend() == Backend::Virtual)
        result = device == WAVE_MAPPER || device == 0 ? OpenVirtualWaveIn(handle, *format, callback)
                                                      : MMSYSERR_BADDEVICEID;
    else
        result = OpenPortAudioWaveIn(handle, device, *format, callback);
    if (result != MMSYSERR_NOERROR)
        return result;
    {
        std::lock_guard lock(g_handlesMutex);
        g_handles.insert(*handle);
    }
    (*handle)->NotifyOpen();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* header, unsigned headerSize) {
    if (!IsOpen(h))
        return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR) || !header->lpData)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* header, unsigned headerSize) {
    if (!IsOpen(h))
        return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* header, unsigned headerSize) {
    if (!IsOpen(h))
        return MMSYSERR_INVALHANDLE;
    if (headerSize < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    return h->AddBuffer(header);
}

MMRESULT waveInStart(HWAVEIN h) {
    return IsOpen(h) ? h->Start() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInReset(HWAVEIN h) {
    return IsOpen(h) ? h->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInClose(HWAVEIN h) {
    if (!IsOpen(h))
        return MMSYSERR_INVALHANDLE;
    if (!h->Idle())
        return WAVERR_STILLPLAYING;
    h->StopSource();
    {
        std::lock_guard lock(g_handlesMutex);
        g_handles.erase(h);
    }
    h->NotifyClose();
    delete h;
    return MMSYSERR_NOERROR;
}

std::string ErrorText(MMRESULT error) {
    switch (error) {
    case MMSYSERR_NOERROR:
        return "The specified command was carried out.";
    case MMSYSERR_ERROR:
        return "Undefined external error.";
    case MMSYSERR_BADDEVICEID:
        return "A device ID has been used that is out of range for your system.";
    case MMSYSERR_ALLOCATED:
        return "The specified device is already in use. Wait until it is free, and then try "
               "again.";
    case MMSYSERR_INVALHANDLE:
        return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER:
        return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM:
        return "There is not enough memory available for this task. Quit one or more "
               "applications to increase available memory, and then try again.";
    case MMSYSERR_INVALFLAG:
        return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM:
        return "An invalid parameter was passed to a system function.";
    case WAVERR_BADFORMAT:
        return "The specified format is not supported or cannot be translated. Use the "
               "Capabilities function to determine the supported formats.";
    case WAVERR_STILLPLAYING:
        return "Cannot perform this operation while media data is still playing. Reset the "
               "device, or wait until the data is finished playing.";
    case WAVERR_UNPREPARED:
        return "The wave header was not prepared. Use the Prepare function to prepare the "
               "header, and then try again.";
    default:
        return "Unknown error number " + std::to_string(error) + ".";
    }
}

MMRESULT waveInGetErrorTextA(MMRESULT error, char* text, unsigned size) {
    if (!text || size == 0)
        return MMSYSERR_INVALPARAM;
    const std::string message = ErrorText(error);
    const std::size_t n = std::min<std::size_t>(message.size(), size - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
    return MMSYSERR_NOERROR;
}

} // namespace wavein
