// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_SIMULATED_DEVICE_H
#define KALDORIUM_SIMULATED_DEVICE_H

// The simulated KALDORIUM-LPT's brain: the device side of the protocol, without any I/O.
// Feed it the bytes that the host wrote (in any chunking), take the replies it returns, and
// ask it for input status frames at whatever pace you like.
//
// A loopback plug sits on its DB-25 connector (see README.md for the table): every pin
// belongs to one net, an output pin drives its net, and an input pin reads it. Unless
// another plug is put on (setPlug), it is the full plug:
//
//   net    pins           net    pins
//   A      D0, S3         E      D4, S7, C0
//   B      D1, S4         F      D5, C1
//   C      D2, S5         G      D6, C2
//   D      D3, S6         H      D7, C3
//
// A net with no output on it reads 0; a net with two outputs on it (both ports output) reads
// the OR of the two. The status pins are always inputs. A pin on no net reads what it drives
// as an output, 0 as an input. Faults (setFaults) break pins and the plug's wiring.
//
// Not thread-safe: one thread at a time (SimulatedDeviceEndpoint guards it with a mutex).

#include "device_link/frames.h"
#include "device_link/loopback_plugs.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

class SimulatedDevice {
public:
    // Pin levels as the device reports them: bit n of data = Dn, bits 3..7 of status =
    // S3..S7, bits 0..3 of control = C0..C3.
    struct Levels {
        uint8_t data = 0;
        uint8_t status = 0;
        uint8_t control = 0;
    };

    // What drives the device's output pins: the direction of each port and the levels it
    // drives when it is an output.
    struct Drive {
        bool dataOutput = false;
        bool controlOutput = false;
        uint8_t data = 0;
        uint8_t control = 0; // bits 0..3
    };

    // Broken pins and wiring, in DB-25 pin numbers.
    struct Faults {
        QVector<int> stuckLow;  // the pin reads low; as an output it holds its net low
        QVector<int> stuckHigh; // the pin reads high; as an output it holds its net high
        QVector<int> open;      // the pin is cut off its net: an output reads only itself
        QVector<std::pair<int, int>> shorts; // the two pins' nets are one (a ground pin: low)
    };

    // One received test output frame.
    struct TestFrameRecord {
        uint8_t counter = 0;
        qint64 arrivalNs = 0; // monotonic, since the device was made
    };

    SimulatedDevice();

    // --- Host to device -------------------------------------------------------------------

    // Takes the bytes the host wrote and returns the bytes the device answers at once
    // (configuration replies). Bytes after a bootloader command are ignored.
    QByteArray takeHostBytes(const QByteArray &bytes);

    // Called (if set) for every complete test output frame and every complete command frame.
    std::function<void(uint8_t counter)> onTestFrame;
    std::function<void(uint8_t code, uint32_t value)> onCommand;

    // --- Device to host -------------------------------------------------------------------

    // The next input status frame (5 bytes): the current pin levels, or once an error report
    // carrying the injected error bits. Empty while the device is in its bootloader.
    QByteArray statusFrame();

    // Error bits for the next status frame: frames::kErrorFifo (0x40), kErrorFrameBroken
    // (0x10), kErrorInputFrameLost (0x20). Bits accumulate until a status frame reports them.
    void injectErrors(uint8_t bits);
    uint8_t pendingErrors() const { return pending_errors_; }

    // When set (the default), a test frame cut by a marker also raises kErrorFrameBroken.
    void setReportBrokenFrames(bool on) { report_broken_ = on; }

    // --- Identity, storage, life cycle -----------------------------------------------------

    static QString manufacturer(); // "Holmcraft KALDORIUM-LPT V1"
    uint32_t address() const { return address_; }
    // The address as hexadecimal digits without prefix, upper case: "C100".
    QString description() const;
    // Device node name for the address: the contract's node for a known key
    // ("KALDORIUM_LPT_C100"), otherwise "KALDORIUM_LPT_" + description().
    QString nodeName() const;

    // The stored power-on item of a store code (4, 8, 12, 16, 20) or read code (24 ... 40);
    // 0 for any other code.
    uint32_t storedValue(uint8_t code) const;

    // Power cycle: leaves the bootloader, forgets a half-received frame and pending errors,
    // and drives the pins from the stored power-on defaults. Address and stored items stay
    // (they live in the device's flash).
    void powerOn();

    // True after a bootloader command (127) until the next powerOn().
    bool inBootloader() const { return in_bootloader_; }

    // --- Pins -----------------------------------------------------------------------------

    Drive drive() const { return drive_; }
    Levels levels() const; // what the loopback plug makes of the drive

    // The plug on the connector (loopback::kFull unless set) and the faults (none unless set).
    void setPlug(const loopback::Plug &plug);
    void setFaults(const Faults &faults);

    // Nets pulled high from outside the plug (a switch or sensor of the machine wired to
    // the connector): bit n = the net of data pin Dn (net A ... net H on the full plug).
    // They read as if an output drove them.
    void setExternalNets(uint8_t nets) { external_nets_ = nets; }
    uint8_t externalNets() const { return external_nets_; }

    // --- Records for tests ------------------------------------------------------------------

    int testFrames() const { return test_frames_; }
    int brokenFrames() const { return broken_frames_; } // frames cut by a marker
    int counterGaps() const { return counter_gaps_; }   // frames whose counter skipped
    int commands() const { return commands_; }
    int unknownCommands() const { return unknown_commands_; }
    int strayBytes() const { return stray_bytes_; }     // non-marker bytes outside a frame
    int statusFrames() const { return status_frames_; } // status frames and error reports
    int errorReports() const { return error_reports_; }
    uint8_t lastCounter() const { return last_counter_; }
    QByteArray lastTestFrame() const { return last_frame_; } // 203 bytes, empty before one
    d_byte lastSlot(int k) const;                            // {0,0} before a frame
    QVector<TestFrameRecord> recentTestFrames() const { return recent_; } // last 256

private:
    void handleTestFrame();
    QByteArray handleCommand();
    void frameCut();
    void joinNets();

    enum class Rx { Idle, Marker, TestFrame, Command };

    // Receive state.
    Rx rx_ = Rx::Idle;
    QByteArray frame_; // bytes of the frame being received, markers included
    bool in_bootloader_ = false;

    // Flash.
    uint32_t address_ = 0xC100;
    uint32_t stored_[5] = {}; // data dir, data levels, control dir, control levels, status

    // Pins and output.
    Drive drive_;
    uint8_t external_nets_ = 0;
    loopback::Plug plug_ = loopback::kFull;
    Faults faults_;
    // By DB-25 pin number (index 0 unused): the net each pin is on after plug and faults
    // (a pin's number stands for its net), whether that net holds a ground pin, and the level
    // a stuck pin reads (-1: not stuck).
    std::array<uint8_t, 26> net_of_ = {};
    std::array<bool, 26> grounded_ = {};
    std::array<int8_t, 26> stuck_ = {};
    uint8_t status_counter_ = 0;
    uint8_t pending_errors_ = 0;
    bool report_broken_ = true;

    // Records.
    QElapsedTimer clock_;
    int test_frames_ = 0;
    int broken_frames_ = 0;
    int counter_gaps_ = 0;
    int commands_ = 0;
    int unknown_commands_ = 0;
    int stray_bytes_ = 0;
    int status_frames_ = 0;
    int error_reports_ = 0;
    uint8_t last_counter_ = 0;
    QByteArray last_frame_;
    QVector<TestFrameRecord> recent_;
};

#endif
