// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_SELFTEST_PLUG_H
#define KALDORIUM_CLI_SELFTEST_PLUG_H

// The loopback plug the self-test expects on the DB-25 connector: a built-in one by name
// (src/device_link/loopback_plugs.h) or a plug file, one net a line:
//   # passmark, with the fifth net on the control port
//   2-15
//   6-11-1
// DB-25 pin numbers joined by '-', '#' starts a comment. Every net holds at least two signal
// pins (1-17), at most one data and one control pin (a port's pins are outputs together: two
// of them on one net would fight), something to drive it (a data or control pin) and
// something to read it; a pin belongs to one net.
//
// And how the self-test drives it: the test runs in phases, each with the ports' directions
// the live test would use. A plug whose nets never hold a data and a control pin together is
// driven in one phase (each net from its one output pin). A net with both is driven once from
// each: first with the data port output and the control port input, then the other way
// round, so that every output pin on the plug is tried.

#include <QList>
#include <QString>

namespace selftest {

struct Net {
    QList<int> pins; // DB-25 numbers, in the plug's order
};

struct Plug {
    QString name; // the built-in name, or the file's path as given
    QList<Net> nets;
};

// The --plug argument: a built-in name (passmark, checkit, full) or a plug file. 0, or the
// exit code after the error line: 65 a file that breaks the rules ("FILE:LINE: ..."), 66 one
// that cannot be read.
int load_plug(const QString &argument, Plug *plug);

// Reads a plug from text; false with "WHERE:LINE: what is wrong".
bool parse_plug(const QByteArray &text, const QString &where, Plug *plug, QString *problem);

// One phase of the test: the ports' directions, the nets it drives and the pin that drives
// each (same order).
struct Phase {
    bool dataOutput = false;
    bool controlOutput = false;
    QList<int> nets;    // indices into Plug::nets
    QList<int> drivers; // the output pin of each
};

QList<Phase> plan(const Plug &plug);

// "pin 4 (D2)"
QString pin_text(int pin);
// "pin 4 (D2) -> pin 12 (S5)": the net's first output pin, then the others in plug order.
QString net_text(const Net &net);

} // namespace selftest

#endif
