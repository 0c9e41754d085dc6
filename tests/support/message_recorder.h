// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_MESSAGE_RECORDER_H
#define KALDORIUM_TEST_MESSAGE_RECORDER_H

// Records the messages the program writes through Qt's message handler, one recorder at a
// time. The receive path's per-byte debug messages ("void MainWindow::readData()", category
// "default", the byte in decimal) are kept as the bytes they name: a flood brings millions.

#include <QByteArray>
#include <QStringList>

namespace testsupport {

class MessageRecorder {
public:
    // Debug::On switches the default category's debug messages on for the purpose (the test
    // runs switch them off) and keeps them off standard error. Every other message is also
    // passed on to the handler that was there before.
    enum class Debug { Off, On };

    explicit MessageRecorder(Debug debug = Debug::Off);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    // Every byte the receive path has taken, in order.
    QByteArray receivedBytes() const;
    // Waits, keeping the event loop turning, until `total` bytes have been taken.
    bool waitForReceivedBytes(int total, int timeoutMs) const;
    // Debug messages other than the per-byte ones.
    QStringList otherDebugMessages() const;
    // Info messages, warnings and criticals.
    QStringList complaints() const;
    void clear();
};

} // namespace testsupport

#endif
