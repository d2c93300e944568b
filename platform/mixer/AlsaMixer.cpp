#include "platform/mixer/AlsaMixer.h"

#include "platform/mixer/AlsaElement.h"
#include "platform/mixer/QueuedNotice.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <array>
#include <chrono>
#include <optional>
#include <poll.h>

namespace mixer {
namespace {

constexpr const char* kControlDevice = "default";

// ALSA prints a line for every step of a failed look-up (dozens when there is
// no sound card or server). They say nothing to the user; the program reports
// what could not be opened itself.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void quietAlsaMessages() {
    static const bool quiet = snd_lib_error_set_handler(&ignoreAlsaMessage) == 0;
    (void)quiet;
}

// Fixed control ids of the two lines.
constexpr std::uint32_t kSpeakersVolumeId = 1;
constexpr std::uint32_t kSpeakersMuteId = 2;
constexpr std::uint32_t kMicrophoneVolumeId = 3;
constexpr std::uint32_t kMicrophoneMuteId = 4;

struct Line {
    LineInfo info;
    bool isSource = false;
    AlsaElement* element = nullptr; // none: a line without controls
};

// Opens and loads the simple mixer of the control device; nullptr when there
// is none (no sound server, no card).
snd_mixer_t* loadMixer() {
    quietAlsaMessages();
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return nullptr;
    if (snd_mixer_attach(mixer, kControlDevice) < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    return mixer;
}

std::string cardName(snd_mixer_t* mixer) {
    snd_hctl_t* hctl = nullptr;
    snd_ctl_card_info_t* info = nullptr;
    snd_ctl_card_info_alloca(&info);
    if (snd_mixer_get_hctl(mixer, kControlDevice, &hctl) == 0 &&
        snd_ctl_card_info(snd_hctl_ctl(hctl), info) == 0) {
        const char* name = snd_ctl_card_info_get_name(info);
        if (name && *name)
            return name;
    }
    return kControlDevice;
}

class AlsaMixer : public Mixer {
public:
    AlsaMixer(snd_mixer_t* mixer, std::optional<AlsaElement> speakers,
              std::optional<AlsaElement> microphone, ChangeNotice notice)
        : mixer_(mixer)
        , speakers_(speakers)
        , microphone_(microphone)
        , notice_(std::move(notice))
        , handle_(nextMixerHandle())
        , productName_(cardName(mixer)) {
        if (speakers_) {
            speakers_->changes = &changed_;
            speakers_->volumeId = kSpeakersVolumeId;
            speakers_->muteId = speakers_->hasSwitch ? kSpeakersMuteId : 0;
            addDestination("Master", LineKind::Speakers, &*speakers_, 0);
        }
        if (microphone_) {
            microphone_->changes = &changed_;
            microphone_->volumeId = kMicrophoneVolumeId;
            microphone_->muteId = microphone_->hasSwitch ? kMicrophoneMuteId : 0;
            const std::uint32_t d = addDestination("Capture", LineKind::Recording, nullptr, 1);
            lines_.back().info.channels = microphone_->channels;
            Line source;
            source.isSource = true;
            source.element = &*microphone_;
            source.info = lineFor(*microphone_, "Capture", LineKind::Microphone);
            source.info.destination = d;
            source.info.source = 0;
            source.info.lineId = 0x10000u | d;
            lines_.push_back(source);
        }
        attach();
    }

    ~AlsaMixer() override { detach(); }

    std::uint32_t handle() const override { return handle_; }

    DeviceCaps caps() const override {
        std::uint32_t destinations = 0;
        for (const Line& line : lines_)
            destinations += line.isSource ? 0 : 1;
        return {productName_, destinations};
    }

    bool destinationLine(std::uint32_t destination, LineInfo& line, std::string* why) override {
        for (const Line& candidate : lines_) {
            if (!candidate.isSource && candidate.info.destination == destination) {
                line = candidate.info;
                return true;
            }
        }
        return fail(why, kNoSuchLine);
    }

    bool sourceLine(std::uint32_t destination, std::uint32_t source, LineInfo& line,
                    std::string* why) override {
        for (const Line& candidate : lines_) {
            if (candidate.isSource && candidate.info.destination == destination &&
                candidate.info.source == source) {
                line = candidate.info;
                return true;
            }
        }
        return fail(why, kNoSuchLine);
    }

    bool lineControls(std::uint32_t lineId, std::vector<ControlInfo>& controls,
                      std::string* why) override {
        for (const Line& line : lines_) {
            if (line.info.lineId != lineId)
                continue;
            controls.clear();
            if (const AlsaElement* element = line.element) {
                controls.push_back(
                    {element->volumeId, ControlKind::Volume, line.info.name + " Volume"});
                if (element->hasSwitch)
                    controls.push_back(
                        {element->muteId, ControlKind::Mute, line.info.name + " Mute"});
            }
            return true;
        }
        return fail(why, kNoSuchLine);
    }

    bool controlDetails(std::uint32_t controlId, std::span<std::uint32_t> values,
                        std::string* why) override {
        if (values.empty() || values.size() > 2)
            return fail(why, kInvalidValue);
        refresh();
        // A mixer that reports changes comes back from its timer only, so
        // that its holder hears of the return before it reads the new
        // server's values.
        if (lost_ && !notice_.wanted())
            reconnect();
        bool isMute = false;
        const AlsaElement* element = elementOf(controlId, isMute);
        if (!element)
            return fail(why, kNoSuchControl);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = isMute ? element->muted() : element->volume(i % element->channels);
        return true;
    }

    bool setControlDetails(std::uint32_t controlId, std::span<const std::uint32_t> values,
                           std::string* why) override {
        if (values.empty() || values.size() > 2)
            return fail(why, kInvalidValue);
        bool isMute = false;
        const AlsaElement* element = elementOf(controlId, isMute);
        if (!element)
            return fail(why, kNoSuchControl);
        if (isMute ? values[0] > 1 : std::any_of(values.begin(), values.end(), [](std::uint32_t v) {
                return v > kMaxVolume;
            }))
            return fail(why, kInvalidValue);
        if (lost_)
            reconnect();
        int err = write(*element, isMute, values);
        // A write to a server that went away fails; one that came back is
        // reached through a fresh handle.
        if (err < 0 && !lost_) {
            markLost();
            if (reconnect())
                err = write(*element, isMute, values);
        }
        refresh();
        return err < 0 ? fail(why, kRefused) : true;
    }

private:
    // Pause between attempts to reach a server that went away, doubling
    // while it stays away, so that reads meanwhile cost nothing much.
    static constexpr std::chrono::milliseconds kReconnectPause{1000};
    static constexpr std::chrono::milliseconds kLongestReconnectPause{64000};
    // An attempt while no server answers costs some 20 us (the connection
    // is refused at once; measured against a socket nobody listens on).
    static constexpr std::chrono::milliseconds kWatchReconnectPause{500};

    static int write(const AlsaElement& element, bool isMute,
                     std::span<const std::uint32_t> values) {
        if (isMute)
            return element.setMuted(values[0] != 0);
        if (values.size() == 1 || element.channels == 1)
            return element.setAllVolumes(values[0]);
        const int err = element.setVolume(element.channel(0), values[0]);
        return err < 0 ? err : element.setVolume(element.channel(1), values[1]);
    }

    void attach() {
        for (AlsaElement* element : elements()) {
            element->remember();
            snd_mixer_elem_set_callback_private(element->elem, element);
            snd_mixer_elem_set_callback(element->elem, &AlsaElement::onEvent);
        }
        if (notice_.wanted())
            watchDescriptors();
    }

    void detach() {
        notifiers_.clear();
        for (AlsaElement* element : elements())
            snd_mixer_elem_set_callback(element->elem, nullptr);
        snd_mixer_close(mixer_);
    }

    static bool sameKind(const std::optional<AlsaElement>& a, const std::optional<AlsaElement>& b) {
        return a.has_value() == b.has_value() &&
               (!a || (a->channels == b->channels && a->hasSwitch == b->hasSwitch));
    }

    // The sound server went away: once one answers again with the same kind
    // of elements, a fresh handle replaces the dead one, the lines and ids
    // stay, the return is reported, and then every control is reported
    // changed so that readers fetch the new server's values.
    // Reads try again at a pace that slows while the server stays away; a
    // mixer that reports changes also tries twice a second from its timer,
    // so that its notices resume within a second of the server's return.
    bool reconnect(bool paced = true) {
        const auto now = std::chrono::steady_clock::now();
        if (paced && now < nextReconnect_)
            return false;
        nextReconnect_ = now + reconnectPause_;
        reconnectPause_ = std::min(reconnectPause_ * 2, kLongestReconnectPause);
        snd_mixer_t* fresh = loadMixer();
        if (!fresh)
            return false;
        auto speakers = findAlsaElement(fresh, "Master", false);
        auto microphone = findAlsaElement(fresh, "Capture", true);
        if (!sameKind(speakers, speakers_) || !sameKind(microphone, microphone_)) {
            snd_mixer_close(fresh);
            return false;
        }
        detach();
        mixer_ = fresh;
        for (auto [mine, found] : {std::pair{&speakers_, &speakers}, {&microphone_, &microphone}}) {
            if (*mine) {
                (*mine)->elem = (*found)->elem;
                (*mine)->min = (*found)->min;
                (*mine)->max = (*found)->max;
            }
        }
        attach();
        lost_ = false;
        reconnectPause_ = kReconnectPause;
        if (reconnectTimer_)
            reconnectTimer_->stop();
        notice_.post(handle_, kServerReturned);
        for (AlsaElement* element : elements()) {
            notice_.post(handle_, element->volumeId);
            if (element->hasSwitch)
                notice_.post(handle_, element->muteId);
        }
        return true;
    }

    std::uint32_t addDestination(const char* name, LineKind type, AlsaElement* element,
                                 std::uint32_t connections) {
        Line line;
        line.element = element;
        line.info = element ? lineFor(*element, name, type) : LineInfo{};
        line.info.name = name;
        line.info.kind = type;
        line.info.destination = caps().destinations;
        line.info.lineId = line.info.destination;
        line.info.connections = connections;
        lines_.push_back(line);
        return line.info.destination;
    }

    static LineInfo lineFor(const AlsaElement& element, const char* name, LineKind type) {
        LineInfo info;
        info.name = name;
        info.kind = type;
        info.channels = element.channels;
        info.controls = element.hasSwitch ? 2 : 1;
        return info;
    }

    std::vector<AlsaElement*> elements() {
        std::vector<AlsaElement*> list;
        if (speakers_)
            list.push_back(&*speakers_);
        if (microphone_)
            list.push_back(&*microphone_);
        return list;
    }

    const AlsaElement* elementOf(std::uint32_t controlId, bool& isMute) {
        for (AlsaElement* element : elements()) {
            if (controlId == element->volumeId ||
                (element->hasSwitch && controlId == element->muteId)) {
                isMute = controlId == element->muteId;
                return element;
            }
        }
        return nullptr;
    }

    // Takes in the server's pending changes, so that reads see other
    // programs' changes, and queues the notices they cause.
    void refresh() {
        if (snd_mixer_handle_events(mixer_) < 0)
            markLost();
        for (std::uint32_t controlId : changed_)
            notice_.post(handle_, controlId);
        changed_.clear();
    }

    void watchDescriptors() {
        const int count = snd_mixer_poll_descriptors_count(mixer_);
        if (count <= 0)
            return;
        descriptors_.resize(static_cast<std::size_t>(count));
        snd_mixer_poll_descriptors(mixer_, descriptors_.data(), static_cast<unsigned>(count));
        for (const pollfd& descriptor : descriptors_) {
            auto notifier = std::make_unique<QSocketNotifier>(descriptor.fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [this] { onReadable(); });
            notifiers_.push_back(std::move(notifier));
        }
    }

    // The server went away: its descriptors are no longer watched (the
    // notifiers go later, as this may run inside one of their signals), and
    // a mixer that reports changes keeps trying to reach a server again, so
    // its notices resume without anyone reading first.
    void markLost() {
        lost_ = true;
        for (auto& notifier : notifiers_) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
        notifiers_.clear();
        if (!notice_.wanted())
            return;
        if (!reconnectTimer_) {
            reconnectTimer_ = std::make_unique<QTimer>();
            reconnectTimer_->setInterval(kWatchReconnectPause);
            QObject::connect(reconnectTimer_.get(), &QTimer::timeout, reconnectTimer_.get(),
                             [this] { reconnect(false); });
        }
        reconnectTimer_->start();
    }

    void onReadable() {
        for (pollfd& descriptor : descriptors_)
            descriptor.revents = POLLIN;
        unsigned short revents = 0;
        snd_mixer_poll_descriptors_revents(mixer_, descriptors_.data(),
                                           static_cast<unsigned>(descriptors_.size()), &revents);
        if (revents & (POLLERR | POLLNVAL | POLLHUP)) {
            markLost();
            return;
        }
        refresh();
    }

    snd_mixer_t* mixer_;
    std::optional<AlsaElement> speakers_;
    std::optional<AlsaElement> microphone_;
    QueuedNotice notice_;
    std::uint32_t handle_;
    std::string productName_;
    std::vector<Line> lines_;
    std::vector<pollfd> descriptors_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    std::vector<std::uint32_t> changed_;
    bool lost_ = false;
    std::chrono::milliseconds reconnectPause_ = kReconnectPause;
    std::chrono::steady_clock::time_point nextReconnect_;
    std::unique_ptr<QTimer> reconnectTimer_;
};

} // namespace

int AlsaMixerSystem::deviceCount() {
    // Opening the control device alone is a fifth of the cost of loading the
    // whole mixer (1.4 against 6.8 ms on the sound server), and the count is
    // asked before every microphone change.
    quietAlsaMessages();
    snd_ctl_t* control = nullptr;
    if (snd_ctl_open(&control, kControlDevice, 0) < 0)
        return 0;
    snd_ctl_close(control);
    return 1;
}

bool AlsaMixerSystem::deviceCaps(int device, DeviceCaps& caps, std::string* why) {
    std::unique_ptr<Mixer> mixer;
    if (!open(device, {}, mixer, why))
        return false;
    caps = mixer->caps();
    return true;
}

bool AlsaMixerSystem::open(int device, ChangeNotice notice, std::unique_ptr<Mixer>& mixer,
                           std::string* why) {
    if (device != 0)
        return fail(why, kNoSuchDevice);
    snd_mixer_t* handle = loadMixer();
    if (!handle)
        return fail(why, kNoSuchDevice);
    auto speakers = findAlsaElement(handle, "Master", false);
    auto microphone = findAlsaElement(handle, "Capture", true);
    if (!speakers && !microphone) {
        snd_mixer_close(handle);
        return fail(why, kNoSuchDevice);
    }
    mixer = std::make_unique<AlsaMixer>(handle, speakers, microphone, std::move(notice));
    return true;
}

} // namespace mixer
