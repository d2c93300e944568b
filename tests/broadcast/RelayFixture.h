#pragma once

#include "RelayClient.h"
#include "broadcast/AudioCapture.h"
#include "broadcast/AudioRelay.h"
#include "platform/capture/VirtualInput.h"
#include "platform/mixer/VirtualMixer.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <chrono>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

// The capture engine as the broadcast sets it up (16-bit stereo, 22050 Hz,
// delivery from the first non-negative sample) feeding the relay, on the
// virtual input. Blocks are fed by the test; the main thread's re-queue runs
// when the test lets posted events run.
class RelayFixture : public ::testing::Test {
public:
    static constexpr std::size_t kBlock = 32768;

    void SetUp() override {
        EnsureTestApp();
        audio::UseCaptureBackend(audio::CaptureBackend::Virtual);
        audio::virtual_input::ResetState();
        mixer::DeclareStandardLines(mixers_);
        audio_ = std::make_unique<AudioCapture>(mixers_);
        CaptureRecorder& r = audio_->Recorder();
        r.SetBitsPerSample(SampleDepth::_16);
        r.SetChannels(ChannelMode::Stereo);
        r.SetSampleRate(22050);
        r.SetTrigLevel(0);
        r.SetTriggered(false);
        audio_->OnRecord = [this](CaptureRecorder& s, char* lp, char* rp, std::uint16_t n) {
            relay_.relayBlock(s, lp, rp, n);
        };
    }
    void TearDown() override {
        if (relay_.Broadcasting)
            StopBroadcast();
        audio_.reset();
    }
    void StartBroadcast() {
        relay_.Broadcasting = true;
        relay_.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
        relay_.tcpServer.SetActive(true);
        ASSERT_TRUE(audio_->Recorder().Start()) << audio_->ErrorText;
    }
    void StopBroadcast() {
        audio_->Recorder().Stop();
        relay_.tcpServer.SetActive(false);
        relay_.ClientList.reset();
        relay_.Broadcasting = false;
    }
    // Block k: 16-bit samples k * 1000 + i (wrapping), all distinct between
    // neighbouring blocks.
    static std::vector<char> Block(int k) {
        std::vector<std::int16_t> s(kBlock / 2);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = std::int16_t((k * 1000 + int(i)) & 0x7FFF);
        std::vector<char> bytes(kBlock);
        std::memcpy(bytes.data(), s.data(), kBlock);
        return bytes;
    }
    void FeedBlock(int k) {
        const std::vector<char> bytes = Block(k);
        audio::virtual_input::Feed(bytes.data(), bytes.size());
        QCoreApplication::sendPostedEvents();
    }
    bool WaitForClients(int n) {
        return WaitUntil([&] { return relay_.ClientCount() == n; });
    }

    mixer::VirtualMixerSystem mixers_;
    AudioRelay relay_;
    std::unique_ptr<AudioCapture> audio_;
};
