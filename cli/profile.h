// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PROFILE_H
#define KALDORIUM_CLI_PROFILE_H

// The power-on defaults as a profile: UTF-8 text, one key=value a line, '#' comments and
// blank lines allowed. What defaults read prints and defaults write --from reads:
//   data.direction=output
//   data.levels=0x81
//   control.direction=input
//   control.levels=0x05
//   status.levels=0x28
// Directions are input or output; levels are printed as 0x and two hex digits and read as
// hex (0x), binary (0b) or decimal digits, without sign or spaces (parse_number, as the pins
// options read them).

#include "device_link/db25_pins.h"
#include "device_link/device_contract.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace profile {

enum class Kind { Direction, Levels };

struct Item {
    const char *key;
    contract::Command store;
    contract::Command read;
    Kind kind;
    uint32_t bits; // the bits a levels value may have set
};

// The five items, in the order the window stores them.
inline constexpr Item kItems[] = {
    {"data.direction", contract::StoreDataDirection, contract::ReadDataDirection, Kind::Direction,
     0x01},
    {"data.levels", contract::StoreDataLevels, contract::ReadDataLevels, Kind::Levels,
     db25::port_bits(db25::Port::Data)},
    {"control.direction", contract::StoreControlDirection, contract::ReadControlDirection,
     Kind::Direction, 0x01},
    {"control.levels", contract::StoreControlLevels, contract::ReadControlLevels, Kind::Levels,
     db25::port_bits(db25::Port::Control)},
    {"status.levels", contract::StoreStatusLevels, contract::ReadStatusLevels, Kind::Levels,
     db25::port_bits(db25::Port::Status)},
};
constexpr int kItemCount = int(std::size(kItems));

// A value for each item that the profile gives, by the item's index in kItems.
using Values = std::array<std::optional<uint32_t>, kItemCount>;

// "output", "input", "0x81"; a direction the device reports as neither 0 nor 1 as its number.
QString format_value(const Item &item, uint32_t value);
// "key=value\n" for every item given, in the window's order.
QString format(const Values &values);
// {"data":{"direction":"output","levels":129},"control":{...},"status":{"levels":40}}
QJsonObject to_json(const Values &values);

// Takes one "key=value" into values. False with what is wrong otherwise (an unknown key, a
// bad or out-of-range value, a key given twice, no '=').
bool take_assignment(const QString &assignment, Values *values, QString *problem);

// A profile is a few lines: anything much larger is not one, and is refused before it is read
// whole (a profile of /dev/zero).
constexpr int kMostBytes = 64 * 1024;
constexpr int kLongestLine = 1024;

// Takes a whole profile, its bytes as read; a problem is reported as "WHERE:LINE: what is
// wrong", quoting at most a short piece of the line, control characters and bytes that are
// not UTF-8 escaped (\x1b). WHERE is shown as it is.
bool take_text(const QByteArray &bytes, const QString &where, Values *values, QString *problem);

} // namespace profile

#endif
