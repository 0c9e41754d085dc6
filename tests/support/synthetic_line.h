// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_SYNTHETIC_LINE_H
#define KALDORIUM_TEST_SYNTHETIC_LINE_H

// The test's end of a synthetic tty of a umockdev testbed (its pseudo-terminal's master):
// what the program writes to the node collects here, and, with a simulated device attached,
// the device answers and sends its input status frames, as a KALDORIUM-LPT on that port
// would. The line is looked at every few milliseconds: a master whose node nobody has open
// reads as an error at once, so a notifier would spin.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class SimulatedDevice;

namespace testsupport {

class UmockdevTestbed;

class SyntheticLine : public QObject {
    Q_OBJECT
public:
    // `device` (not owned; may be null) answers on the line while the node is open.
    SyntheticLine(const UmockdevTestbed &testbed, const QString &node,
                  SimulatedDevice *device = nullptr);

    void write(const QByteArray &bytes);
    const QByteArray &received() const { return received_; }

private:
    void look();

    int fd_ = -1;
    SimulatedDevice *device_ = nullptr;
    QTimer timer_;
    QByteArray received_;
    QByteArray outbox_; // the device's bytes the line has not taken yet
};

} // namespace testsupport

#endif
