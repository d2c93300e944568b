#pragma once

#include <alsa/asoundlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace mixer {

// One ALSA simple-mixer element seen as a line's volume and mute controls,
// with values in the mixer interface's 0..kMaxVolume range.
struct AlsaElement {
    snd_mixer_elem_t* elem = nullptr;
    bool capture = false;
    bool hasSwitch = false;
    std::uint32_t channels = 2;
    long min = 0;
    long max = 0;
    std::uint32_t volumeId = 0;
    std::uint32_t muteId = 0;
    // Where OnEvent lists the ids of the controls an event changed.
    std::vector<std::uint32_t>* changes = nullptr;
    // Values as last seen, to tell which control an element event changed.
    std::array<std::uint32_t, 2> lastVolume{};
    std::uint32_t lastMute = 0;

    snd_mixer_selem_channel_id_t channel(std::size_t index) const;
    std::uint32_t volume(std::size_t index) const;
    std::uint32_t muted() const;
    int setVolume(snd_mixer_selem_channel_id_t ch, std::uint32_t value) const;
    int setAllVolumes(std::uint32_t value) const;
    int setMuted(bool mute) const;
    void remember();

    // ALSA's element callback; the element is its callback_private.
    static int onEvent(snd_mixer_elem_t* elem, unsigned int mask);
};

// The element of that name with a volume of the given direction, if any.
std::optional<AlsaElement> findAlsaElement(snd_mixer_t* mixer, const char* name, bool capture);

} // namespace mixer
