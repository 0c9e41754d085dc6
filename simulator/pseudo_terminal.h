// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_PSEUDO_TERMINAL_H
#define KALDORIUM_PSEUDO_TERMINAL_H

// A pseudo-terminal pair in raw mode: the program opens the slave side as its serial port
// (through QSerialPort, like a real device node), and whatever stands for the device reads
// and writes the master side. Closing the master hangs the line up, as unplugging a USB
// serial device does.

#include <QByteArray>
#include <QString>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    // The slave device path, e.g. "/dev/pts/7".
    QString slavePath() const { return slave_path_; }

    // Writes all bytes to the master side (waits while the line is full). False on error.
    bool write(const QByteArray &bytes);
    // Reads what the host has written so far without waiting.
    QByteArray readAvailable();
    // Reads until at least `count` bytes have arrived or `timeout_ms` has passed.
    QByteArray readAtLeast(int count, int timeout_ms);

    // Writes as much of `bytes` as the line takes now, without waiting. Returns the number
    // of bytes written (0 when the line is full), or -1 on error or when closed.
    int writeSome(const QByteArray &bytes);
    // Bytes written to the master that the slave side has not read yet (the host's unread
    // input, as far as the line discipline holds it; -1 when unknown).
    int unreadBySlave() const;

    // Hangs the line up: the slave sees end of line, as when the device is unplugged.
    void close();

private:
    int master_ = -1;
    int slave_keepalive_ = -1; // keeps the line from hanging up before the host opens it
    QString slave_path_;
};

#endif
