#include "platform/mixer/VirtualMixer.h"

#include "platform/mixer/QueuedNotice.h"

#include <algorithm>
#include <map>

namespace mixer {

namespace {
struct VirtualControl {
    ControlInfo info;
    std::uint32_t lineId = 0;
    std::uint32_t channels = 1;
    std::array<std::uint32_t, 2> values{};
    bool readFails = false;
    bool refused = false;
    int writes = 0;
};

struct VirtualLine {
    LineInfo info;
    int device = 0;
    bool isSource = false;
    bool readFails = false;
    bool listFails = false;
    std::vector<std::uint32_t> controls;
    std::vector<std::uint32_t> sources;
};

struct VirtualDevice {
    std::string name;
    std::vector<std::uint32_t> destinations;
    bool openFails = false;
};

struct OpenMixer {
    int device = 0;
    std::uint32_t handle = 0;
    QueuedNotice* notice = nullptr;
};
} // namespace

struct VirtualMixerSystem::State {
    std::vector<VirtualDevice> devices;
    std::map<std::uint32_t, VirtualLine> lines;
    std::map<std::uint32_t, VirtualControl> controls;
    std::uint32_t nextId = 1;
    std::vector<OpenMixer> open;

    VirtualLine* line(std::uint32_t id) {
        auto it = lines.find(id);
        return it == lines.end() ? nullptr : &it->second;
    }
    VirtualControl* control(std::uint32_t id) {
        auto it = controls.find(id);
        return it == controls.end() ? nullptr : &it->second;
    }
    void notify(int device, std::uint32_t controlId) {
        for (const OpenMixer& mixer : open) {
            if (mixer.device == device)
                mixer.notice->post(mixer.handle, controlId);
        }
    }
};

namespace {

class VirtualMixer : public Mixer {
public:
    using State = VirtualMixerSystem::State;

    VirtualMixer(std::shared_ptr<State> state, int device, ChangeNotice notice)
        : state_(std::move(state))
        , device_(device)
        , handle_(nextMixerHandle())
        , notice_(std::move(notice)) {
        state_->open.push_back({device_, handle_, &notice_});
    }

    ~VirtualMixer() override {
        std::erase_if(state_->open, [this](const OpenMixer& m) { return m.handle == handle_; });
    }

    std::uint32_t handle() const override { return handle_; }

    DeviceCaps caps() const override {
        const VirtualDevice& device = state_->devices[static_cast<std::size_t>(device_)];
        return {device.name, static_cast<std::uint32_t>(device.destinations.size())};
    }

    bool destinationLine(std::uint32_t destination, LineInfo& line, std::string* why) override {
        const auto& destinations = state_->devices[static_cast<std::size_t>(device_)].destinations;
        if (destination >= destinations.size())
            return fail(why, kNoSuchLine);
        return readLine(destinations[destination], line, why);
    }

    bool sourceLine(std::uint32_t destination, std::uint32_t source, LineInfo& line,
                    std::string* why) override {
        const auto& destinations = state_->devices[static_cast<std::size_t>(device_)].destinations;
        if (destination >= destinations.size())
            return fail(why, kNoSuchLine);
        const VirtualLine* parent = state_->line(destinations[destination]);
        if (source >= parent->sources.size())
            return fail(why, kNoSuchLine);
        return readLine(parent->sources[source], line, why);
    }

    bool lineControls(std::uint32_t lineId, std::vector<ControlInfo>& controls,
                      std::string* why) override {
        const VirtualLine* line = ownLine(lineId);
        if (!line || line->listFails)
            return fail(why, kNoSuchLine);
        controls.clear();
        for (std::uint32_t id : line->controls)
            controls.push_back(state_->control(id)->info);
        return true;
    }

    bool controlDetails(std::uint32_t controlId, std::span<std::uint32_t> values,
                        std::string* why) override {
        if (values.empty() || values.size() > 2)
            return fail(why, kInvalidValue);
        const VirtualControl* control = ownControl(controlId);
        if (!control || control->readFails)
            return fail(why, kNoSuchControl);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = control->values[std::min<std::size_t>(i, control->channels - 1)];
        return true;
    }

    bool setControlDetails(std::uint32_t controlId, std::span<const std::uint32_t> values,
                           std::string* why) override {
        if (values.empty() || values.size() > 2)
            return fail(why, kInvalidValue);
        VirtualControl* control = ownControl(controlId);
        if (!control)
            return fail(why, kNoSuchControl);
        const std::uint32_t limit = control->info.kind == ControlKind::Mute ? 1 : kMaxVolume;
        if (std::any_of(values.begin(), values.end(), [limit](auto v) { return v > limit; }))
            return fail(why, kInvalidValue);
        if (control->refused || control->info.kind == ControlKind::PeakMeter)
            return fail(why, kRefused);
        std::array<std::uint32_t, 2> next = control->values;
        if (values.size() == 1 || control->channels == 1)
            next = {values[0], values[0]};
        else
            next = {values[0], values[1]};
        if (control->channels == 1)
            next[1] = 0;
        ++control->writes;
        if (next != control->values) {
            control->values = next;
            state_->notify(device_, controlId);
        }
        return true;
    }

private:
    bool readLine(std::uint32_t lineId, LineInfo& line, std::string* why) const {
        const VirtualLine* found = state_->line(lineId);
        if (found->readFails)
            return fail(why, kNoSuchLine);
        line = found->info;
        return true;
    }

    VirtualLine* ownLine(std::uint32_t lineId) const {
        VirtualLine* line = state_->line(lineId);
        return line && line->device == device_ ? line : nullptr;
    }

    VirtualControl* ownControl(std::uint32_t controlId) const {
        VirtualControl* control = state_->control(controlId);
        return control && ownLine(control->lineId) ? control : nullptr;
    }

    std::shared_ptr<State> state_;
    int device_;
    std::uint32_t handle_;
    QueuedNotice notice_;
};

} // namespace

VirtualMixerSystem::VirtualMixerSystem()
    : state_(std::make_shared<State>()) {}

VirtualMixerSystem::~VirtualMixerSystem() = default;

int VirtualMixerSystem::addDevice(std::string productName) {
    state_->devices.push_back({std::move(productName), {}, false});
    return static_cast<int>(state_->devices.size()) - 1;
}

std::uint32_t VirtualMixerSystem::addDestination(int device, std::string name, LineKind kind,
                                                 std::uint32_t channels) {
    VirtualDevice& owner = state_->devices.at(static_cast<std::size_t>(device));
    VirtualLine line;
    line.device = device;
    line.info.destination = static_cast<std::uint32_t>(owner.destinations.size());
    line.info.lineId = state_->nextId++;
    line.info.kind = kind;
    line.info.channels = channels;
    line.info.name = std::move(name);
    owner.destinations.push_back(line.info.lineId);
    state_->lines[line.info.lineId] = line;
    return line.info.lineId;
}

std::uint32_t VirtualMixerSystem::addSource(std::uint32_t destinationLineId, std::string name,
                                            LineKind kind, std::uint32_t channels) {
    VirtualLine& parent = state_->lines.at(destinationLineId);
    VirtualLine line;
    line.device = parent.device;
    line.isSource = true;
    line.info.destination = parent.info.destination;
    line.info.source = static_cast<std::uint32_t>(parent.sources.size());
    line.info.lineId = state_->nextId++;
    line.info.kind = kind;
    line.info.channels = channels;
    line.info.name = std::move(name);
    parent.sources.push_back(line.info.lineId);
    parent.info.connections = static_cast<std::uint32_t>(parent.sources.size());
    state_->lines[line.info.lineId] = line;
    return line.info.lineId;
}

std::uint32_t VirtualMixerSystem::addControl(std::uint32_t lineId, ControlKind kind,
                                             std::string name) {
    VirtualLine& line = state_->lines.at(lineId);
    VirtualControl control;
    control.info = {state_->nextId++, kind, std::move(name)};
    control.lineId = lineId;
    control.channels =
        kind == ControlKind::Mute ? 1 : std::clamp<std::uint32_t>(line.info.channels, 1, 2);
    if (kind == ControlKind::Volume)
        control.values = {kMaxVolume, control.channels == 2 ? kMaxVolume : 0};
    line.controls.push_back(control.info.controlId);
    line.info.controls = static_cast<std::uint32_t>(line.controls.size());
    state_->controls[control.info.controlId] = control;
    return control.info.controlId;
}

void VirtualMixerSystem::setOpenFails(int device, bool fails) {
    state_->devices.at(static_cast<std::size_t>(device)).openFails = fails;
}
void VirtualMixerSystem::setLineReadFails(std::uint32_t lineId, bool fails) {
    state_->lines.at(lineId).readFails = fails;
}
void VirtualMixerSystem::setControlListFails(std::uint32_t lineId, bool fails) {
    state_->lines.at(lineId).listFails = fails;
}
void VirtualMixerSystem::setControlReadFails(std::uint32_t controlId, bool fails) {
    state_->controls.at(controlId).readFails = fails;
}
void VirtualMixerSystem::setWritesRefused(std::uint32_t controlId, bool refused) {
    state_->controls.at(controlId).refused = refused;
}

std::array<std::uint32_t, 2> VirtualMixerSystem::values(std::uint32_t controlId) const {
    return state_->controls.at(controlId).values;
}

void VirtualMixerSystem::setValues(std::uint32_t controlId, std::array<std::uint32_t, 2> values) {
    VirtualControl& control = state_->controls.at(controlId);
    if (control.values == values)
        return;
    control.values = values;
    state_->notify(state_->lines.at(control.lineId).device, controlId);
}

int VirtualMixerSystem::writeCount(std::uint32_t controlId) const {
    return state_->controls.at(controlId).writes;
}

int VirtualMixerSystem::openMixers() const {
    return static_cast<int>(state_->open.size());
}

int VirtualMixerSystem::deviceCount() {
    return static_cast<int>(state_->devices.size());
}

bool VirtualMixerSystem::deviceCaps(int device, DeviceCaps& caps, std::string* why) {
    if (device < 0 || device >= deviceCount())
        return fail(why, kNoSuchDevice);
    const VirtualDevice& found = state_->devices[static_cast<std::size_t>(device)];
    caps = {found.name, static_cast<std::uint32_t>(found.destinations.size())};
    return true;
}

bool VirtualMixerSystem::open(int device, ChangeNotice notice, std::unique_ptr<Mixer>& mixer,
                              std::string* why) {
    if (device < 0 || device >= deviceCount())
        return fail(why, kNoSuchDevice);
    if (state_->devices[static_cast<std::size_t>(device)].openFails)
        return fail(why, kOpenFailed);
    mixer = std::make_unique<VirtualMixer>(state_, device, std::move(notice));
    return true;
}

void declareStandardLines(VirtualMixerSystem& system) {
    const int device = system.addDevice("Virtual Mixer");
    const auto speakers = system.addDestination(device, "Speakers", LineKind::Speakers, 2);
    system.addControl(speakers, ControlKind::Volume, "Speakers Volume");
    system.addControl(speakers, ControlKind::Mute, "Speakers Mute");
    const auto recording = system.addDestination(device, "Recording", LineKind::Recording, 2);
    const auto microphone = system.addSource(recording, "Microphone", LineKind::Microphone, 2);
    system.addControl(microphone, ControlKind::Volume, "Microphone Volume");
    system.addControl(microphone, ControlKind::Mute, "Microphone Mute");
}

} // namespace mixer
