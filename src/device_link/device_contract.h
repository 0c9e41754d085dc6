// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_DEVICE_CONTRACT_H
#define KALDORIUM_DEVICE_CONTRACT_H

// What the program knows about the KALDORIUM-LPT, in one place: how it is recognised among
// the host's serial ports, which device node belongs to which address, the line settings,
// the command codes and the reply types. No widget and no port here.

#include <QSerialPort>

#include <cstdint>

namespace contract {

// The USB manufacturer string of the device's serial port, compared whole and case-sensitive.
inline constexpr char kManufacturer[] = "Holmcraft KALDORIUM-LPT V1";

// The port description carries the emulated address ("c100" ... "c800", any letter case);
// the first key found in it, in this order, names the device node to open.
struct AddressKey {
    const char *key;
    const char *node; // file name under the device-node directory
};
inline constexpr AddressKey kAddressKeys[] = {
    {"c100", "KALDORIUM_LPT_C100"}, {"c200", "KALDORIUM_LPT_C200"}, {"c300", "KALDORIUM_LPT_C300"},
    {"c400", "KALDORIUM_LPT_C400"}, {"c500", "KALDORIUM_LPT_C500"}, {"c600", "KALDORIUM_LPT_C600"},
    {"c700", "KALDORIUM_LPT_C700"}, {"c800", "KALDORIUM_LPT_C800"},
};
// The addresses the device can be given (the window's address list), as address keys.
inline constexpr const char *kSettableAddresses[] = {"C100", "C200"};
// Device lines name this node until another one has been opened.
inline constexpr char kDefaultNode[] = "KALDORIUM_LPT_C100";

// Line settings, applied in this order before every open; the baud rate after it succeeds.
inline constexpr QSerialPort::DataBits kDataBits = QSerialPort::Data8;
inline constexpr QSerialPort::Parity kParity = QSerialPort::NoParity;
inline constexpr QSerialPort::StopBits kStopBits = QSerialPort::OneStop;
inline constexpr QSerialPort::FlowControl kFlowControl = QSerialPort::NoFlowControl;
inline constexpr qint32 kBaudRate = 4000000;

// Command codes of the six-byte command frame. Each read code is its store code plus 20,
// and the device answers a read with a configuration reply of the same type.
inline constexpr uint8_t kReadOffset = 20;
enum Command : uint8_t {
    SetAddress = 0,
    StoreDataDirection = 4,
    StoreDataLevels = 8,
    StoreControlDirection = 12,
    StoreControlLevels = 16,
    StoreStatusLevels = 20,
    ReadDataDirection = StoreDataDirection + kReadOffset,
    ReadDataLevels = StoreDataLevels + kReadOffset,
    ReadControlDirection = StoreControlDirection + kReadOffset,
    ReadControlLevels = StoreControlLevels + kReadOffset,
    ReadStatusLevels = StoreStatusLevels + kReadOffset,
    EnterBootloader = 127,
};
inline constexpr Command kStoreCommands[] = {StoreDataDirection, StoreDataLevels,
                                             StoreControlDirection, StoreControlLevels,
                                             StoreStatusLevels};
inline constexpr Command kReadCommands[] = {ReadDataDirection, ReadDataLevels, ReadControlDirection,
                                            ReadControlLevels, ReadStatusLevels};

// The name of a read request and of its reply; null for any other code.
constexpr const char *read_name(uint8_t code)
{
    switch (code) {
    case ReadDataDirection:
        return "READ_DEFAULT_DATA_PORT_TYPE";
    case ReadDataLevels:
        return "READ_DEFAULT_DATA_PORT_STATE";
    case ReadControlDirection:
        return "READ_DEFAULT_CONTROL_PORT_TYPE";
    case ReadControlLevels:
        return "READ_DEFAULT_CONTROL_PORT_STATE";
    case ReadStatusLevels:
        return "READ_DEFAULT_STATUS_PORT_STATE";
    default:
        return nullptr;
    }
}

// The device in its USB DFU bootloader, as dfu-util addresses it.
inline constexpr char kDfuUtil[] = "dfu-util";
inline constexpr char kDfuDeviceId[] = "1209:db42";

} // namespace contract

#endif
