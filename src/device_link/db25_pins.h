// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_DB25_PINS_H
#define KALDORIUM_DB25_PINS_H

// The 25 pins of the DB-25 connector and the parallel-port register bits they carry. The one
// table that the window's pin buttons, the command line and the tests all read.
//   pins 2..9  data D0..D7        pins 1, 14, 16, 17  control C0..C3
//   pins 15, 13, 12, 10, 11  status S3..S7        pins 18..25  ground

#include "device_link/frames.h"

#include <array>
#include <cstdint>

namespace db25 {

enum class Port : uint8_t { Data, Status, Control, Ground };

struct Pin {
    int number; // 1..25
    Port port;
    int bit;          // bit in its register (S3 is bit 3); -1 for ground
    const char *name; // "D0", "S4", "C3"; "GND" for ground
};

constexpr int kPinCount = 25;
constexpr int kSignalPins = 17; // pins 1..17 carry a register bit
constexpr int kFirstGround = 18;

inline constexpr std::array<Pin, kPinCount> kPins = {{
    {1, Port::Control, 0, "C0"},   {2, Port::Data, 0, "D0"},      {3, Port::Data, 1, "D1"},
    {4, Port::Data, 2, "D2"},      {5, Port::Data, 3, "D3"},      {6, Port::Data, 4, "D4"},
    {7, Port::Data, 5, "D5"},      {8, Port::Data, 6, "D6"},      {9, Port::Data, 7, "D7"},
    {10, Port::Status, 6, "S6"},   {11, Port::Status, 7, "S7"},   {12, Port::Status, 5, "S5"},
    {13, Port::Status, 4, "S4"},   {14, Port::Control, 1, "C1"},  {15, Port::Status, 3, "S3"},
    {16, Port::Control, 2, "C2"},  {17, Port::Control, 3, "C3"},  {18, Port::Ground, -1, "GND"},
    {19, Port::Ground, -1, "GND"}, {20, Port::Ground, -1, "GND"}, {21, Port::Ground, -1, "GND"},
    {22, Port::Ground, -1, "GND"}, {23, Port::Ground, -1, "GND"}, {24, Port::Ground, -1, "GND"},
    {25, Port::Ground, -1, "GND"},
}};

// Pin numbers of each port in register bit order.
inline constexpr std::array<int, 8> kDataPins = {2, 3, 4, 5, 6, 7, 8, 9}; // D0..D7
inline constexpr std::array<int, 4> kControlPins = {1, 14, 16, 17};       // C0..C3
inline constexpr std::array<int, 5> kStatusPins = {15, 13, 12, 10, 11};   // S3..S7
inline constexpr std::array<int, 8> kGroundPins = {18, 19, 20, 21, 22, 23, 24, 25};
constexpr int kFirstStatusBit = 3;

// The pin with this number; the caller keeps it within 1..25.
constexpr const Pin &pin(int number)
{
    return kPins[size_t(number - 1)];
}

constexpr bool is_pin(int number)
{
    return number >= 1 && number <= kPinCount;
}

// The register bits that a port's pins carry: data 0xFF, control 0x0F, status 0xF8.
constexpr uint8_t port_bits(Port port)
{
    uint8_t bits = 0;
    for (const Pin &p : kPins) {
        if (p.port == port && p.bit >= 0)
            bits = uint8_t(bits | (1u << p.bit));
    }
    return bits;
}
static_assert(port_bits(Port::Control) == frames::kControlField,
              "the frames carry the control port's bits in their control field");

// The level of a signal pin in an input status frame's levels; false for ground.
constexpr bool level(const Pin &p, const frames::InputLevels &levels)
{
    switch (p.port) {
    case Port::Data:
        return (levels.data >> p.bit) & 1;
    case Port::Status:
        return (levels.status >> p.bit) & 1;
    case Port::Control:
        return (levels.control >> p.bit) & 1;
    case Port::Ground:
        break;
    }
    return false;
}

// The levels of pins 1..17 as one word: bit n-1 = pin n. Two words XORed give the pins that
// changed between two frames.
constexpr uint32_t signal_levels(const frames::InputLevels &levels)
{
    uint32_t word = 0;
    for (int n = 1; n <= kSignalPins; ++n) {
        if (level(pin(n), levels))
            word |= uint32_t(1) << (n - 1);
    }
    return word;
}

// Every entry of the table agrees with the per-port lists.
constexpr bool table_is_consistent()
{
    for (int n = 1; n <= kPinCount; ++n) {
        const Pin &p = pin(n);
        if (p.number != n)
            return false;
        if (p.port == Port::Data && kDataPins[size_t(p.bit)] != n)
            return false;
        if (p.port == Port::Control && kControlPins[size_t(p.bit)] != n)
            return false;
        if (p.port == Port::Status && kStatusPins[size_t(p.bit - kFirstStatusBit)] != n)
            return false;
        if (p.port == Port::Ground && n < kFirstGround)
            return false;
    }
    return true;
}
static_assert(table_is_consistent(), "the pin table and the port lists disagree");

} // namespace db25

#endif
