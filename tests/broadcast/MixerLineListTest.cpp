#include "broadcast/MixerLineList.h"
#include "platform/mixer/VirtualMixer.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

using namespace mixer;

namespace {

std::vector<const MixerLine*> records(const MixerLineList& settings) {
    std::vector<const MixerLine*> records;
    for (const MixerLine* r = settings.lines(); r; r = r->next.get())
        records.push_back(r);
    return records;
}

// One speakers destination with two sources: a stereo wave line with a volume
// fader only, and a mono microphone with a fader, a mute switch and a meter.
struct SoundCard {
    VirtualMixerSystem system;
    int device = 0;
    std::uint32_t speakers = 0, wave = 0, mic = 0;
    std::uint32_t speakersVolume = 0, speakersMute = 0, waveVolume = 0, micVolume = 0, micMute = 0,
                  micMeter = 0;

    SoundCard() {
        device = system.addDevice("CI Card");
        speakers = system.addDestination(device, "Speakers", LineKind::Speakers, 2);
        speakersVolume = system.addControl(speakers, ControlKind::Volume);
        speakersMute = system.addControl(speakers, ControlKind::Mute);
        wave = system.addSource(speakers, "Wave", LineKind::Playback, 2);
        waveVolume = system.addControl(wave, ControlKind::Volume);
        mic = system.addSource(speakers, "Mic", LineKind::Microphone, 1);
        micVolume = system.addControl(mic, ControlKind::Volume);
        micMute = system.addControl(mic, ControlKind::Mute);
        micMeter = system.addControl(mic, ControlKind::PeakMeter);
        system.setValues(speakersVolume, {30000, 20000});
        system.setValues(speakersMute, {1, 0});
        system.setValues(micVolume, {1234, 0});
    }
};

} // namespace

TEST(MixerLineList, SpeakersWithTwoSourcesGiveFourRecords) {
    SoundCard card;
    MixerLineList settings(card.system);
    ASSERT_TRUE(settings.enumerate(0));
    const auto records = ::records(settings);
    ASSERT_EQ(records.size(), 4u);

    const MixerLine& device = *records[0];
    EXPECT_EQ(std::tie(device.Destination, device.Source), std::tuple(65535, 65535));
    EXPECT_EQ(device.name, "CI Card");
    EXPECT_EQ(device.Flags, 0);
    EXPECT_EQ(std::tuple(device.VolumeID, device.MuteID, device.MeterID),
              std::tuple(65535u, 65535u, 65535u));
    EXPECT_FALSE(device.OnSpeakers || device.HasControls || device.Muted);

    const MixerLine& speakers = *records[1];
    EXPECT_EQ(std::tie(speakers.Destination, speakers.Source), std::tuple(0, 0));
    EXPECT_EQ(speakers.name, "Speakers");
    EXPECT_EQ(speakers.VolumeID, card.speakersVolume);
    EXPECT_EQ(std::tie(speakers.VolumeLeft, speakers.VolumeRight), std::tuple(30000, 20000));
    EXPECT_EQ(speakers.MuteID, card.speakersMute);
    EXPECT_TRUE(speakers.Muted);
    EXPECT_EQ(speakers.Flags, 0); // a mute switch clears 128
    EXPECT_FALSE(speakers.MonoVolume);

    const MixerLine& wave = *records[2];
    EXPECT_EQ(std::tie(wave.Destination, wave.Source), std::tuple(0, 1));
    EXPECT_EQ(wave.VolumeID, card.waveVolume);
    EXPECT_EQ(std::tie(wave.VolumeLeft, wave.VolumeRight), std::tuple(65535, 65535));
    EXPECT_EQ(wave.MuteID, 65535u);
    EXPECT_EQ(wave.Flags, 128); // stereo fader, no mute switch
    EXPECT_TRUE(wave.HasControls);

    const MixerLine& mic = *records[3];
    EXPECT_EQ(std::tie(mic.Destination, mic.Source), std::tuple(0, 2));
    EXPECT_TRUE(mic.MonoVolume);
    EXPECT_EQ(std::tie(mic.VolumeLeft, mic.VolumeRight), std::tuple(1234, 0));
    EXPECT_EQ(mic.Flags, 64); // mono fader, has a mute switch
    EXPECT_EQ(mic.MeterID, card.micMeter);
    EXPECT_EQ(mic.MeterChannels, 1);
    EXPECT_FALSE(mic.Muted);

    for (const MixerLine* line : {&speakers, &wave, &mic})
        EXPECT_TRUE(line->OnSpeakers) << line->name;
}

TEST(MixerLineList, SourcesOfTheNextDestinationCountFromZero) {
    SoundCard card;
    const auto recording =
        card.system.addDestination(card.device, "Recording", LineKind::Recording, 2);
    const auto line = card.system.addSource(recording, "Line", LineKind::LineIn, 2);
    const auto meter = card.system.addControl(line, ControlKind::PeakMeter);
    MixerLineList settings(card.system);
    ASSERT_TRUE(settings.enumerate(0));
    const auto records = ::records(settings);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(std::tie(records[4]->Destination, records[4]->Source), std::tuple(1, 0));
    EXPECT_EQ(std::tie(records[5]->Destination, records[5]->Source), std::tuple(1, 1));
    EXPECT_FALSE(records[4]->OnSpeakers || records[5]->OnSpeakers);
    // A line with only a meter: no controls counted, 128 kept, two meter channels.
    EXPECT_EQ(records[5]->MeterID, meter);
    EXPECT_EQ(records[5]->MeterChannels, 2);
    EXPECT_FALSE(records[5]->HasControls);
    EXPECT_EQ(records[5]->Flags, 128);
    EXPECT_EQ(records[4]->Flags, 128); // no controls at all
}

TEST(MixerLineList, TwoMuteSwitchesKeepTheFirstAndALaterFaderReplaces) {
    VirtualMixerSystem system;
    const int dev = system.addDevice("Card");
    const auto line = system.addDestination(dev, "Speakers", LineKind::Speakers, 1);
    const auto firstMute = system.addControl(line, ControlKind::Mute);
    const auto secondMute = system.addControl(line, ControlKind::Mute);
    system.addControl(line, ControlKind::Volume);
    const auto laterFader = system.addControl(line, ControlKind::Volume);
    system.setValues(secondMute, {1, 0});
    system.setValues(laterFader, {777, 0});
    MixerLineList settings(system);
    ASSERT_TRUE(settings.enumerate(0));
    const MixerLine& record = *records(settings).at(1);
    EXPECT_EQ(record.MuteID, firstMute);
    EXPECT_FALSE(record.Muted);
    EXPECT_EQ(record.VolumeID, laterFader);
    EXPECT_EQ(record.VolumeLeft, 777);
    EXPECT_EQ(record.Flags, 64); // two mono faders still give 64 once
}

TEST(MixerLineList, FailedControlReadsLeaveIdsUnsetAndGoOn) {
    SoundCard card;
    card.system.setControlListFails(card.speakers, true);
    card.system.setControlReadFails(card.micMute, true);
    MixerLineList settings(card.system);
    ASSERT_TRUE(settings.enumerate(0));
    const auto records = ::records(settings);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1]->VolumeID, 65535u);
    EXPECT_EQ(records[1]->Flags, 128);
    EXPECT_EQ(records[3]->MuteID, 65535u);
    EXPECT_EQ(records[3]->VolumeID, card.micVolume);
    EXPECT_EQ(records[3]->Flags, 128 | 64);
}

TEST(MixerLineList, FailuresReturnFalse) {
    VirtualMixerSystem none;
    MixerLineList noMixer(none);
    EXPECT_FALSE(noMixer.enumerate(0));
    EXPECT_EQ(noMixer.lines(), nullptr);
    EXPECT_EQ(noMixer.handle(), nullptr);

    SoundCard card;
    MixerLineList settings(card.system);
    EXPECT_FALSE(settings.enumerate(3)); // no such device
    EXPECT_EQ(settings.lines(), nullptr);

    card.system.setLineReadFails(card.mic, true);
    EXPECT_FALSE(settings.enumerate(0));
    EXPECT_EQ(records(settings).size(), 3u); // what was added stays

    VirtualMixerSystem empty;
    empty.addDevice("No Lines");
    MixerLineList noLines(empty);
    EXPECT_FALSE(noLines.enumerate(0));
    EXPECT_EQ(records(noLines).size(), 1u);
}

TEST(MixerLineList, ReEnumeratingAndTeardownCloseTheMixer) {
    SoundCard card;
    {
        MixerLineList settings(card.system);
        ASSERT_TRUE(settings.enumerate(0));
        ASSERT_TRUE(settings.enumerate(0));
        EXPECT_EQ(card.system.openMixers(), 1);
        EXPECT_EQ(records(settings).size(), 4u);
    }
    EXPECT_EQ(card.system.openMixers(), 0);
}
