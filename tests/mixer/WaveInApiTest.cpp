#include "platform/wavein/VirtualWaveIn.h"
#include "platform/wavein/WaveIn.h"

#include <cstring>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace wavein;
namespace vi = wavein::virtual_input;

namespace {

struct Returned {
    std::vector<WAVEHDR*> headers;
    std::vector<unsigned> messages;
};

void CALLBACK_Proc(HWAVEIN, unsigned msg, std::uintptr_t instance, std::uintptr_t p1,
                   std::uintptr_t) {
    auto* r = reinterpret_cast<Returned*>(instance);
    r->messages.push_back(msg);
    if (msg == MM_WIM_DATA)
        r->headers.push_back(reinterpret_cast<WAVEHDR*>(p1));
}

class WaveInApi : public ::testing::Test {
protected:
    void SetUp() override {
        UseBackend(Backend::Virtual);
        vi::ResetState();
        format_.nChannels = 2;
        format_.nSamplesPerSec = 44100;
        format_.wBitsPerSample = 16;
        format_.nBlockAlign = 4;
        format_.nAvgBytesPerSec = 176400;
        WaveInCallback cb{CALLBACK_FUNCTION, nullptr, &CALLBACK_Proc,
                          reinterpret_cast<std::uintptr_t>(&returned_)};
        ASSERT_EQ(waveInOpen(&h_, WAVE_MAPPER, &format_, cb), MMSYSERR_NOERROR);
        for (int i = 0; i < 3; ++i) {
            data_[i].assign(400, 0);
            hdr_[i].lpData = data_[i].data();
            hdr_[i].dwBufferLength = 400;
            ASSERT_EQ(waveInPrepareHeader(h_, &hdr_[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    WAVEFORMATEX format_;
    HWAVEIN h_ = nullptr;
    WAVEHDR hdr_[3];
    std::vector<char> data_[3];
    Returned returned_;
};

TEST_F(WaveInApi, BuffersReturnInOrderWithContinuousData) {
    EXPECT_EQ(waveInAddBuffer(h_, &hdr_[1], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h_, &hdr_[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h_, &hdr_[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    std::vector<std::int16_t> ramp(300);
    for (int i = 0; i < 300; ++i)
        ramp[std::size_t(i)] = std::int16_t(i);
    vi::SetSamples(ramp, 2);
    vi::Advance(50); // before start: lost
    EXPECT_TRUE(returned_.headers.empty());
    ASSERT_EQ(waveInStart(h_), MMSYSERR_NOERROR);
    vi::Advance(150); // 600 bytes: fills hdr 1 (400) and half of hdr 0
    ASSERT_EQ(returned_.headers.size(), 1u);
    EXPECT_EQ(returned_.headers[0], &hdr_[1]);
    EXPECT_TRUE(hdr_[1].dwFlags & WHDR_DONE);
    EXPECT_EQ(hdr_[1].dwBytesRecorded, 400u);
    EXPECT_EQ(hdr_[0].dwBytesRecorded, 200u);
    // The samples continue across the buffer boundary.
    std::int16_t first0;
    std::memcpy(&first0, hdr_[0].lpData, 2);
    std::int16_t last1;
    std::memcpy(&last1, hdr_[1].lpData + 398, 2);
    EXPECT_EQ(first0, last1 + 1);

    EXPECT_EQ(waveInClose(h_), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(h_, &hdr_[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInReset(h_), MMSYSERR_NOERROR); // returns hdr 0, partly filled
    ASSERT_EQ(returned_.headers.size(), 2u);
    EXPECT_EQ(returned_.headers[1], &hdr_[0]);
    EXPECT_EQ(hdr_[0].dwBytesRecorded, 200u);
    EXPECT_EQ(waveInClose(h_), MMSYSERR_NOERROR);
    EXPECT_EQ(returned_.messages.front(), MM_WIM_OPEN);
    EXPECT_EQ(returned_.messages.back(), MM_WIM_CLOSE);
    EXPECT_EQ(waveInStart(h_), MMSYSERR_INVALHANDLE); // a closed handle is refused
}

TEST_F(WaveInApi, UnpreparedBuffersAndBadFormatsAreRefused) {
    WAVEHDR raw;
    raw.lpData = data_[0].data();
    raw.dwBufferLength = 10;
    EXPECT_EQ(waveInAddBuffer(h_, &raw, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInClose(h_), MMSYSERR_NOERROR);

    HWAVEIN other = nullptr;
    WAVEFORMATEX bad = format_;
    bad.wBitsPerSample = 24;
    EXPECT_EQ(waveInOpen(&other, WAVE_MAPPER, &bad, {}), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&other, 3, &format_, {}), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetNumDevs(), 1u);

    char text[16];
    EXPECT_EQ(waveInGetErrorTextA(WAVERR_BADFORMAT, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(text), ErrorText(WAVERR_BADFORMAT).substr(0, 15));
}

TEST_F(WaveInApi, FunctionCallbackMayRequeueInsideTheCallback) {
    HWAVEIN device = nullptr;
    WAVEHDR* hdr = &hdr_[0];
    ASSERT_EQ(waveInClose(h_), MMSYSERR_NOERROR);
    WaveInCallback cb{
        CALLBACK_FUNCTION, nullptr,
        [](HWAVEIN d, unsigned msg, std::uintptr_t inst, std::uintptr_t p1, std::uintptr_t) {
            if (msg != MM_WIM_DATA)
                return;
            auto* state = reinterpret_cast<std::pair<int, bool>*>(inst);
            ++state->first;
            if (!state->second) // not while resetting
                waveInAddBuffer(d, reinterpret_cast<WAVEHDR*>(p1), sizeof(WAVEHDR));
        },
        0};
    std::pair<int, bool> state{0, false};
    cb.instance = reinterpret_cast<std::uintptr_t>(&state);
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format_, cb), MMSYSERR_NOERROR);
    hdr->dwFlags = 0;
    ASSERT_EQ(waveInPrepareHeader(device, hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(device, hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    vi::SetTone(1000, 0.5);
    vi::Advance(1000); // 4000 bytes = 10 buffers through one re-queued header
    EXPECT_EQ(state.first, 10);
    state.second = true;
    EXPECT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(state.first, 11); // the queued header comes back once more
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
}

} // namespace
