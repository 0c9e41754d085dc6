// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_SELFTEST_RUN_H
#define KALDORIUM_CLI_SELFTEST_RUN_H

// The loopback self-test on an open device: walking ones and walking zeros over the output
// pin of every net, phase by phase (selftest_plug.h), each pattern in a test output frame as
// the live test sends them, at most one every 10 ms; the status frame that answers each one
// judged as selftest_verdict.h says. The last frame sets every output low and both ports to
// input.
//
// Which status frame answers a pattern: the device takes the bytes of the line in order, so
// right behind each pattern's frame goes a request for a power-on item (the data port's
// direction, which changes nothing). Its reply proves that the device has taken the pattern;
// the first status frame after the reply was made with the pattern on the pins. A status
// frame that comes before the reply may be older than the pattern and is never judged. A
// device that reports an error before the answer gets the pattern again (the frame may have
// been broken on the way).

#include "device_session.h"
#include "selftest_plug.h"
#include "selftest_verdict.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace selftest {

struct Report {
    Plug plug;
    QList<NetVerdict> verdicts; // one per net of the plug
    int patterns = 0;
    double seconds = 0;
    bool passed() const;
};

// Runs the test on the open session. 0 with the report filled in, or the exit code after the
// error line (74 device lost or errors on every try, 75 no answer within --timeout, 128 + the
// signal).
int run(DeviceSession &session, const Invocation &invocation, const Plug &plug, Report *report);

// "pin 4 (D2) -> pin 12 (S5): stuck low (pin 4 (D2) stuck low)"
QString net_line(const Report &report, int net);
// "selftest passed: 5 nets, 10 patterns, 0.4 s" or
// "selftest FAILED: pin 4 (D2) -> pin 12 (S5): stuck low"
QString summary_line(const Report &report);
// {"plug": ..., "nets": [{"pins": [...], "result": ..., "detail": ...}], "passed": ...,
//  "seconds": ...}
QJsonObject to_json(const Report &report);

} // namespace selftest

#endif
