#pragma once

#include "mixer/FoundMixerValues.h"
#include "mixer/MasterVolume.h"
#include "platform/mixer/SystemMixer.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QWidget;

// What the mixer panel does to the system mixer: the master volume slider
// (0..100, through MasterVolume), the microphone slider (0..65535) and the
// "MUTE/MIC" check box. The sliders are vertical, position 0 at the top being
// the loudest; the panel's owner calls setMasterVolume, setMicVolume and
// applyMicMute when the user moves or clicks them (the sliders' user-only
// signal), and the panel moves the sliders through the widget hooks below,
// which write silently: a placed slider never comes back as a user's move.
//
// Constructing it notes the system mixer's values as found, then applies the
// stored master settings (unmuted, 67, balance 0). StartupMicrophone mutes
// the microphone and drops its slider to the bottom; StartupMasterVolume
// places the master slider at the system's volume without writing it.
// RestoreSystemMixer, once at exit, puts back the values found, except those
// the user set in the panel.
//
// The panel follows the system: when the master volume or the microphone's
// volume or mute changes outside (another program), the sliders and the box
// show the new values without writing them back and without touching the
// cross-fade.
//
// A sound server that comes back after the old one went away starts with its
// own defaults (typically a live microphone at full volume and a louder
// master). The session's values go back on it: the four controls as the
// panel last had them, the user's own moves and the start-up's mute included.
// At exit the values found at start are restored, on whichever server runs.
struct MixerPanelWidgets {
    QCheckBox* micMute = nullptr;
    // Place a slider silently and return the position it shows (its own
    // quantisation may move it a little).
    std::function<int(int)> setMastervolPosition;
    std::function<int(int)> setMicvolPosition;
    std::function<void()> clearCrossFading;
};

class MixerPanelControls {
public:
    explicit MixerPanelControls(MixerPanelWidgets widgets,
                                mixer::MixerSystem& system = mixer::defaultSystem());

    MasterVolume& masterVolume() { return *masterVolume_; }
    bool micMuted() const { return micMuted_; }

    // Start-up: mute the microphone and note it as muted, put micLevel at the
    // bottom (position 65535), set the microphone volume to 0 and clear the
    // cross-fade flag. Not counted as the user's setting.
    void startupMicrophone();
    // Start-up: place masterLevel at the system volume read afresh. The system
    // volume is left as it is.
    void startupMasterVolume();

    // The user moved a slider to position.
    void setMasterVolume(int position);
    void setMicVolume(int position);
    void applyMicMute();

    // Puts the microphone's mute and volume and the master volume back as
    // they were found, except what the user set in the panel. Once.
    void restoreSystemMixer();

private:
    QWidget* dialogParent() const;
    void systemChanged(mixer::SystemMixer::Control control);
    void serverReturned();
    void noteSession(mixer::SystemMixer::Control control, mixer::SystemMixer::Values values) {
        session_[control] = values;
    }
    // Shows a position on a slider without writing the system, and notes
    // where the slider stands.
    void placeMasterSlider(int position);
    void placeMicSlider(int position);
    // Sets the microphone volume the mic slider's position stands for.
    void writeMicVolume(int position);

    MixerPanelWidgets widgets_;
    mixer::MixerSystem& system_;
    std::unique_ptr<mixer::SystemMixer> systemMixer_;
    std::unique_ptr<FoundMixerValues> found_;
    std::unique_ptr<MasterVolume> masterVolume_;
    // The values the session has set or seen last on each control, put
    // back on a sound server that comes back.
    std::array<std::optional<mixer::SystemMixer::Values>, mixer::SystemMixer::kControlCount>
        session_;
    bool micMuted_ = true;
    // Where the sliders stand, whether the user or the panel moved them.
    int masterLevelPosition_ = 0;
    int micLevelPosition_ = 0;
};
