// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "simulated_device.h"

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"

namespace {

constexpr int kRecentFrames = 256;

// Index into the stored items of a store or read code: 4 -> 0, 8 -> 1, ... 20 -> 4.
int storedIndex(uint8_t code)
{
    if (code >= contract::ReadDataDirection)
        code = uint8_t(code - contract::kReadOffset);
    if (code < contract::StoreDataDirection || code > contract::StoreStatusLevels || code % 4)
        return -1;
    return code / 4 - 1;
}

} // namespace

SimulatedDevice::SimulatedDevice()
{
    clock_.start();
    frame_.reserve(frames::kTestFrameSize);
    joinNets();
    powerOn();
}

void SimulatedDevice::setPlug(const loopback::Plug &plug)
{
    plug_ = plug;
    joinNets();
}

void SimulatedDevice::setFaults(const Faults &faults)
{
    faults_ = faults;
    joinNets();
}

void SimulatedDevice::joinNets()
{
    // Each pin starts as a net of its own; the plug's wires and the shorts join nets.
    for (int p = 1; p <= db25::kPinCount; ++p)
        net_of_[size_t(p)] = uint8_t(p);
    const auto root = [this](int p) {
        while (net_of_[size_t(p)] != p)
            p = net_of_[size_t(p)];
        return p;
    };
    const auto join = [&](int a, int b) {
        if (db25::is_pin(a) && db25::is_pin(b))
            net_of_[size_t(root(a))] = uint8_t(root(b));
    };
    for (int n = 0; n < plug_.count; ++n) {
        const loopback::Net &net = plug_.nets[size_t(n)];
        int first = 0;
        for (int i = 0; i < net.count; ++i) {
            const int p = net.pins[size_t(i)];
            if (faults_.open.contains(p))
                continue; // cut off the plug
            if (first)
                join(first, p);
            else
                first = p;
        }
    }
    for (const auto &wire : faults_.shorts)
        join(wire.first, wire.second);
    grounded_.fill(false);
    stuck_.fill(-1);
    for (int p = 1; p <= db25::kPinCount; ++p) {
        net_of_[size_t(p)] = uint8_t(root(p));
        if (db25::pin(p).port == db25::Port::Ground)
            grounded_[net_of_[size_t(p)]] = true;
    }
    for (int p : faults_.stuckLow) {
        if (db25::is_pin(p))
            stuck_[size_t(p)] = 0;
    }
    for (int p : faults_.stuckHigh) {
        if (db25::is_pin(p))
            stuck_[size_t(p)] = 1;
    }
}

QString SimulatedDevice::manufacturer()
{
    return QString::fromLatin1(contract::kManufacturer);
}

QString SimulatedDevice::description() const
{
    return QString::number(address_, 16).toUpper();
}

QString SimulatedDevice::nodeName() const
{
    const QString text = description();
    for (const contract::AddressKey &key : contract::kAddressKeys) {
        if (text.compare(QLatin1String(key.key), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(key.node);
    }
    return QStringLiteral("KALDORIUM_LPT_") + text;
}

uint32_t SimulatedDevice::storedValue(uint8_t code) const
{
    const int index = storedIndex(code);
    return index < 0 ? 0 : stored_[index];
}

void SimulatedDevice::powerOn()
{
    in_bootloader_ = false;
    rx_ = Rx::Idle;
    frame_.clear();
    pending_errors_ = 0;
    drive_.dataOutput = stored_[0] == 1;
    drive_.data = uint8_t(stored_[1]);
    drive_.controlOutput = stored_[2] == 1;
    drive_.control = uint8_t(stored_[3] & frames::kControlField);
}

SimulatedDevice::Levels SimulatedDevice::levels() const
{
    // What each net carries: held low (a ground pin, an output stuck low) before held high
    // (an output stuck high) before the OR of its outputs and outside switches.
    std::array<bool, 26> low = {};
    std::array<bool, 26> high = {};
    std::array<bool, 26> driven = {};
    for (int p = 1; p <= db25::kSignalPins; ++p) {
        const db25::Pin &pin = db25::pin(p);
        bool level = false;
        if (pin.port == db25::Port::Data && drive_.dataOutput)
            level = (drive_.data >> pin.bit) & 1;
        else if (pin.port == db25::Port::Control && drive_.controlOutput)
            level = (drive_.control >> pin.bit) & 1;
        else
            continue; // an input
        const size_t net = net_of_[size_t(p)];
        if (stuck_[size_t(p)] == 0)
            low[net] = true;
        else if (stuck_[size_t(p)] == 1)
            high[net] = true;
        else if (level)
            driven[net] = true;
    }
    for (int n = 0; n < 8; ++n) {
        if ((external_nets_ >> n) & 1)
            driven[net_of_[size_t(db25::kDataPins[size_t(n)])]] = true;
    }
    const auto reads = [&](int p) {
        if (stuck_[size_t(p)] >= 0)
            return stuck_[size_t(p)] == 1;
        const size_t net = net_of_[size_t(p)];
        if (grounded_[net] || low[net])
            return false;
        return high[net] || driven[net];
    };
    Levels levels;
    for (size_t bit = 0; bit < db25::kDataPins.size(); ++bit)
        levels.data |= uint8_t(reads(db25::kDataPins[bit]) << bit);
    for (size_t i = 0; i < db25::kStatusPins.size(); ++i)
        levels.status |= uint8_t(reads(db25::kStatusPins[i]) << (i + db25::kFirstStatusBit));
    for (size_t bit = 0; bit < db25::kControlPins.size(); ++bit)
        levels.control |= uint8_t(reads(db25::kControlPins[bit]) << bit);
    return levels;
}

d_byte SimulatedDevice::lastSlot(int k) const
{
    if (last_frame_.size() != frames::kTestFrameSize || k < 0 || k >= frames::kTestFrameSlots)
        return d_byte{0, 0};
    return d_byte{uint8_t(last_frame_[1 + 2 * k]), uint8_t(last_frame_[2 + 2 * k])};
}

QByteArray SimulatedDevice::takeHostBytes(const QByteArray &bytes)
{
    QByteArray replies;
    for (const char c : bytes) {
        if (in_bootloader_)
            break;
        const uint8_t b = uint8_t(c);
        if (b == frames::kMarker) {
            switch (rx_) {
            case Rx::Idle:
                rx_ = Rx::Marker;
                break;
            case Rx::Marker: // FF FF: a command frame
                rx_ = Rx::Command;
                frame_ = QByteArray(2, char(frames::kMarker));
                break;
            case Rx::TestFrame:
            case Rx::Command: // the marker cuts the frame and opens the next one
                frameCut();
                rx_ = Rx::Marker;
                break;
            }
            continue;
        }
        switch (rx_) {
        case Rx::Idle:
            ++stray_bytes_;
            break;
        case Rx::Marker: // FF then a payload byte: a test output frame
            rx_ = Rx::TestFrame;
            frame_ = QByteArray(1, char(frames::kMarker));
            frame_.append(c);
            break;
        case Rx::TestFrame:
            frame_.append(c);
            if (frame_.size() == frames::kTestFrameSize) {
                rx_ = Rx::Idle;
                handleTestFrame();
            }
            break;
        case Rx::Command:
            frame_.append(c);
            if (frame_.size() == frames::kCommandFrameSize) {
                rx_ = Rx::Idle;
                replies += handleCommand();
            }
            break;
        }
    }
    return replies;
}

void SimulatedDevice::frameCut()
{
    ++broken_frames_;
    if (report_broken_ && rx_ == Rx::TestFrame)
        pending_errors_ |= frames::kErrorFrameBroken;
    frame_.clear();
}

void SimulatedDevice::handleTestFrame()
{
    last_frame_ = frame_;
    const auto *frame = reinterpret_cast<const HC_LCNC_2_SERIAL_OUT_DATA *>(frame_.constData());
    if (test_frames_ > 0 && frame->counter != frames::next_counter(last_counter_))
        ++counter_gaps_;
    ++test_frames_;
    last_counter_ = frame->counter;
    if (recent_.size() >= kRecentFrames)
        recent_.remove(0, recent_.size() - kRecentFrames + 1);
    recent_.append(TestFrameRecord{frame->counter, clock_.nsecsElapsed()});

    // The device plays the 100 slots over 10 ms; between frames it holds the last one.
    const d_byte &slot = frame->out[frames::kTestFrameSlots - 1];
    drive_.dataOutput = slot.out_1 & frames::kDataOutputFlag;
    drive_.controlOutput = slot.out_1 & frames::kControlOutputFlag;
    drive_.data = uint8_t((slot.out_0 << 1) | ((slot.out_1 & frames::kSlotD0) ? 1 : 0));
    drive_.control = uint8_t(slot.out_1 & frames::kControlField);
    frame_.clear();
    if (onTestFrame)
        onTestFrame(last_counter_);
}

QByteArray SimulatedDevice::handleCommand()
{
    const uint8_t code = uint8_t(frame_[2]);
    const uint32_t value = (uint32_t(uint8_t(frame_[3]) & 0x7F) << 14) |
                           (uint32_t(uint8_t(frame_[4]) & 0x7F) << 7) |
                           (uint32_t(uint8_t(frame_[5]) & 0x7F));
    frame_.clear();
    ++commands_;
    if (onCommand)
        onCommand(code, value);

    const int index = storedIndex(code);
    if (code == contract::SetAddress) {
        address_ = value;
    } else if (code == contract::EnterBootloader) {
        in_bootloader_ = true;
        rx_ = Rx::Idle;
    } else if (index >= 0 && code <= contract::StoreStatusLevels) {
        stored_[index] = value;
    } else if (index >= 0) {
        return frames::reply_frame(code, stored_[index]);
    } else {
        ++unknown_commands_;
    }
    return QByteArray();
}

QByteArray SimulatedDevice::statusFrame()
{
    if (in_bootloader_)
        return QByteArray();
    const uint8_t counter = status_counter_;
    status_counter_ = frames::next_counter(status_counter_);
    ++status_frames_;
    if (pending_errors_) {
        const uint8_t bits = pending_errors_;
        pending_errors_ = 0;
        ++error_reports_;
        return frames::to_bytes(frames::pack_error_report(bits, counter));
    }
    const Levels now = levels();
    return frames::to_bytes(
        frames::pack_input(frames::InputLevels{now.data, now.status, now.control}, counter));
}

void SimulatedDevice::injectErrors(uint8_t bits)
{
    pending_errors_ |= uint8_t(
        bits & (frames::kErrorFifo | frames::kErrorFrameBroken | frames::kErrorInputFrameLost));
}
