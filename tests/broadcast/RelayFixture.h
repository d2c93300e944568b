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
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        audio::virtual_input::resetState();
        mixer::declareStandardLines(mixers_);
        audio_ = std::make_unique<AudioCapture>(mixers_);
        CaptureRecorder& r = audio_->recorder();
        r.setBitsPerSample(SampleDepth::_16);
        r.setChannels(ChannelMode::Stereo);
        r.setSampleRate(22050);
        r.setTrigLevel(0);
        r.setTriggered(false);
        audio_->OnRecord = [this](CaptureRecorder& s, char* lp, char* rp, std::uint16_t n) {
            relay_.relayBlock(s, lp, rp, n);
        };
    }
    void TearDown() override {
        if (relay_.broadcasting)
            stopBroadcast();
        audio_.reset();
    }
    void startBroadcast() {
        relay_.broadcasting = true;
        relay_.ClientList = std::make_unique<ThreadList<ClientEntry*>>();
        relay_.tcpServer.setActive(true);
        ASSERT_TRUE(audio_->recorder().start()) << audio_->errorText;
    }
    void stopBroadcast() {
        audio_->recorder().stop();
        relay_.tcpServer.setActive(false);
        relay_.ClientList.reset();
        relay_.broadcasting = false;
    }
    // Block k: 16-bit samples k * 1000 + i (wrapping), all distinct between
    // neighbouring blocks.
    static std::vector<char> block(int k) {
        std::vector<std::int16_t> s(kBlock / 2);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = std::int16_t((k * 1000 + int(i)) & 0x7FFF);
        std::vector<char> bytes(kBlock);
        std::memcpy(bytes.data(), s.data(), kBlock);
        return bytes;
    }
    void feedBlock(int k) {
        const std::vector<char> bytes = block(k);
        audio::virtual_input::feed(bytes.data(), bytes.size());
        QCoreApplication::sendPostedEvents();
    }
    bool waitForClients(int n) {
        return waitUntil([&] { return relay_.clientCount() == n; });
    }

    mixer::VirtualMixerSystem mixers_;
    AudioRelay relay_;
    std::unique_ptr<AudioCapture> audio_;
};
