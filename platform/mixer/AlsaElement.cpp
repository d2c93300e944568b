#include "platform/mixer/AlsaElement.h"

#include "platform/mixer/ScaledRange.h"

namespace mixer {

snd_mixer_selem_channel_id_t AlsaElement::channel(std::size_t index) const {
    if (channels == 1)
        return SND_MIXER_SCHN_MONO;
    return index == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

std::uint32_t AlsaElement::volume(std::size_t index) const {
    long raw = 0;
    if (capture)
        snd_mixer_selem_get_capture_volume(elem, channel(index), &raw);
    else
        snd_mixer_selem_get_playback_volume(elem, channel(index), &raw);
    return fromDeviceRange(raw, min, max);
}

std::uint32_t AlsaElement::muted() const {
    int on = 1;
    if (capture)
        snd_mixer_selem_get_capture_switch(elem, channel(0), &on);
    else
        snd_mixer_selem_get_playback_switch(elem, channel(0), &on);
    return on ? 0 : 1;
}

int AlsaElement::setVolume(snd_mixer_selem_channel_id_t ch, std::uint32_t value) const {
    const long raw = toDeviceRange(value, min, max);
    return capture ? snd_mixer_selem_set_capture_volume(elem, ch, raw)
                   : snd_mixer_selem_set_playback_volume(elem, ch, raw);
}

int AlsaElement::setAllVolumes(std::uint32_t value) const {
    const long raw = toDeviceRange(value, min, max);
    return capture ? snd_mixer_selem_set_capture_volume_all(elem, raw)
                   : snd_mixer_selem_set_playback_volume_all(elem, raw);
}

int AlsaElement::setMuted(bool mute) const {
    return capture ? snd_mixer_selem_set_capture_switch_all(elem, mute ? 0 : 1)
                   : snd_mixer_selem_set_playback_switch_all(elem, mute ? 0 : 1);
}

void AlsaElement::remember() {
    lastVolume = {volume(0), volume(1 % channels)};
    lastMute = hasSwitch ? muted() : 0;
}

int AlsaElement::onEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    if (mask == SND_CTL_EVENT_MASK_REMOVE || !(mask & SND_CTL_EVENT_MASK_VALUE))
        return 0;
    auto* element = static_cast<AlsaElement*>(snd_mixer_elem_get_callback_private(elem));
    if (!element || !element->changes)
        return 0;
    const auto volume = element->lastVolume;
    const auto mute = element->lastMute;
    element->remember();
    if (element->lastVolume != volume)
        element->changes->push_back(element->volumeId);
    if (element->hasSwitch && element->lastMute != mute)
        element->changes->push_back(element->muteId);
    return 0;
}

std::optional<AlsaElement> findAlsaElement(snd_mixer_t* mixer, const char* name, bool capture) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, id);
    if (!elem)
        return std::nullopt;
    AlsaElement element;
    element.elem = elem;
    element.capture = capture;
    if (capture) {
        if (!snd_mixer_selem_has_capture_volume(elem))
            return std::nullopt;
        element.hasSwitch = snd_mixer_selem_has_capture_switch(elem);
        element.channels = snd_mixer_selem_is_capture_mono(elem) == 1 ? 1 : 2;
        snd_mixer_selem_get_capture_volume_range(elem, &element.min, &element.max);
    } else {
        if (!snd_mixer_selem_has_playback_volume(elem))
            return std::nullopt;
        element.hasSwitch = snd_mixer_selem_has_playback_switch(elem);
        element.channels = snd_mixer_selem_is_playback_mono(elem) == 1 ? 1 : 2;
        snd_mixer_selem_get_playback_volume_range(elem, &element.min, &element.max);
    }
    return element;
}

} // namespace mixer
