// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PROVISION_STEPS_H
#define KALDORIUM_CLI_PROVISION_STEPS_H

// One device on the bench, from the moment it is taken to its record: the self-test, the
// profile written and read back, the new address with the replug it needs, confirmed where
// the device comes back. Every failure ends that device, not the run; a signal ends both.

#include "command.h"
#include "device_watch.h"
#include "profile.h"
#include "provision_log.h"
#include "selftest_plug.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace provision {

struct Settings {
    profile::Values values;
    QString profile; // its path, as given
    QString profileSha256;
    QString address; // the address key to give each device; empty: leave it
    std::optional<selftest::Plug> plug;
    qint64 replugTimeoutMs = 60000;
};

struct Outcome {
    Record record;
    QStringList steps;    // what was done: "selftest passed", "defaults verified", ...
    QString attachment;   // where the device is at the end (AttachedDevice::attachment())
    bool stopped = false; // a signal (or a gone reader) ended the run meanwhile
};

Outcome provision_device(const Invocation &invocation, const Settings &settings, DeviceWatch &watch,
                         const AttachedDevice &device);

// "C100 -> C200  /dev/KALDORIUM_LPT_C200  serial SN-1: selftest passed, defaults verified,
// address confirmed; ok in 1.2 s"
QString text_line(const Outcome &outcome);

} // namespace provision

#endif
