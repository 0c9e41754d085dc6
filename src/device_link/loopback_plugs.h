// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_LOOPBACK_PLUGS_H
#define KALDORIUM_LOOPBACK_PLUGS_H

// The loopback plugs that the command line's self-test knows by name and that the simulated
// device can wear on its DB-25 connector. A plug is a list of nets; a net is the DB-25 pins
// soldered together, in the order the plug is written down (its output pin first).
//   passmark  2-15, 3-13, 4-12, 5-10, 6-11: D0..D4 to S3..S7, the wiring of most PC
//             parallel-port diagnostics
//   checkit   2-15, 13-1, 12-14, 10-16, 11-17: D0 to S3 and the four control outputs to the
//             other status inputs
//   full      the simulated device's own plug: every data pin on a net, the status pins on
//             D0..D4, the control pins on D4..D7 (nets A to H)

#include <array>
#include <cstring>

namespace loopback {

constexpr int kMaxNetPins = 4;

struct Net {
    int count;
    std::array<int, kMaxNetPins> pins; // DB-25 pin numbers, the first `count` of them
};

struct Plug {
    const char *name;
    int count;
    std::array<Net, 8> nets; // the first `count` of them
};

inline constexpr Plug kPassmark = {
    "passmark", 5, {{{2, {2, 15}}, {2, {3, 13}}, {2, {4, 12}}, {2, {5, 10}}, {2, {6, 11}}}}};
inline constexpr Plug kCheckit = {
    "checkit", 5, {{{2, {2, 15}}, {2, {13, 1}}, {2, {12, 14}}, {2, {10, 16}}, {2, {11, 17}}}}};
inline constexpr Plug kFull = {"full",
                               8,
                               {{{2, {2, 15}},
                                 {2, {3, 13}},
                                 {2, {4, 12}},
                                 {2, {5, 10}},
                                 {3, {6, 11, 1}},
                                 {2, {7, 14}},
                                 {2, {8, 16}},
                                 {2, {9, 17}}}}};
// Nothing on the connector: every pin on its own.
inline constexpr Plug kNone = {"none", 0, {}};

// The plugs the self-test knows, in the order its help lists them.
inline constexpr std::array<const Plug *, 3> kTestPlugs = {&kPassmark, &kCheckit, &kFull};

// A built-in plug by name (the test plugs and "none"), or nullptr.
inline const Plug *find_plug(const char *name)
{
    for (const Plug *plug : {&kPassmark, &kCheckit, &kFull, &kNone}) {
        if (std::strcmp(plug->name, name) == 0)
            return plug;
    }
    return nullptr;
}

} // namespace loopback

#endif
