#include "broadcast/MixerLineList.h"

#include <algorithm>
#include <array>

using namespace mixer;

MixerLineList::MixerLineList(MixerSystem& system)
    : system_(system) {}

MixerLineList::~MixerLineList() {
    release();
}

void MixerLineList::release() {
    handle_.reset();
    // Released one by one in list order, without recursing down the chain.
    while (lines_)
        lines_ = std::move(lines_->next);
    last_ = nullptr;
}

bool MixerLineList::enumerate(int device) {
    release();
    if (system_.deviceCount() < 1)
        return false;
    // Nothing reads the list after it is built: change notices are not asked for.
    if (!system_.open(device, {}, handle_, nullptr)) {
        handle_.reset();
        return false;
    }
    const DeviceCaps caps = handle_->caps();
    auto deviceRecord = std::make_unique<MixerLine>();
    deviceRecord->name = caps.productName;
    append(std::move(deviceRecord));

    bool result = false;
    for (std::uint32_t d = 0; d < caps.destinations; ++d) {
        LineInfo destination;
        if (!handle_->destinationLine(d, destination, nullptr))
            return false;
        const bool onSpeakers = destination.kind == LineKind::Speakers;
        addLine(destination, onSpeakers);
        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            LineInfo source;
            if (!handle_->sourceLine(d, s, source, nullptr))
                return false;
            addLine(source, onSpeakers);
        }
        result = true;
    }
    return result;
}

void MixerLineList::append(std::unique_ptr<MixerLine> record) {
    MixerLine* added = record.get();
    if (last_)
        last_->next = std::move(record);
    else
        lines_ = std::move(record);
    last_ = added;
}

void MixerLineList::addLine(const LineInfo& line, bool onSpeakers) {
    auto record = std::make_unique<MixerLine>();
    record->Destination = static_cast<std::uint16_t>(line.destination);
    record->Source = last_ && last_->Destination == record->Destination
                         ? static_cast<std::uint16_t>(last_->Source + 1)
                         : 0;
    record->name = line.name;
    record->OnSpeakers = onSpeakers;
    record->Flags = MixerLine::kFlagNoMute;
    if (line.controls > 0)
        readControls(line, *record);
    append(std::move(record));
}

void MixerLineList::readControls(const LineInfo& line, MixerLine& record) {
    std::vector<ControlInfo> controls;
    if (!handle_->lineControls(line.lineId, controls, nullptr))
        return;
    // At most two channel values are read, whatever the line reports.
    const std::size_t channels = std::clamp<std::uint32_t>(line.channels, 1, 2);
    for (const ControlInfo& control : controls) {
        std::array<std::uint32_t, 2> values{};
        const bool oneValue = control.kind == ControlKind::Mute;
        const std::span<std::uint32_t> wanted(values.data(), oneValue ? 1 : channels);
        if (!handle_->controlDetails(control.controlId, wanted, nullptr))
            continue;
        switch (control.kind) {
        case ControlKind::Volume:
            record.VolumeID = control.controlId;
            record.VolumeLeft = static_cast<std::uint16_t>(values[0]);
            if (channels == 1) {
                record.MonoVolume = true;
                record.Flags |= MixerLine::kFlagMonoVolume;
            } else {
                record.VolumeRight = static_cast<std::uint16_t>(values[1]);
            }
            record.HasControls = true;
            break;
        case ControlKind::Mute:
            if (record.MuteID == MixerLine::kNoControl) {
                record.MuteID = control.controlId;
                record.Muted = values[0] != 0;
                record.HasControls = true;
                record.Flags &= static_cast<std::uint16_t>(~MixerLine::kFlagNoMute);
            }
            break;
        case ControlKind::PeakMeter:
            record.MeterID = control.controlId;
            record.MeterChannels = channels == 1 ? 1 : 2;
            break;
        default:
            break;
        }
    }
}
