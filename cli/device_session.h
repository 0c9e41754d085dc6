// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_DEVICE_SESSION_H
#define KALDORIUM_CLI_DEVICE_SESSION_H

// The open serial line to one device for the length of a command: opened with the window's
// line settings, every received byte through the shared receive state machine, configuration
// replies kept by type, a vanished device noticed once, the port closed on destruction.
//
// The methods that return an int return 0 or an exit code after writing the error line, so a
// command can write: if (int code = session.send(frames)) return code;

#include "command.h"
#include "event_wait.h"

#include "device_link/receive_parser.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSerialPort>

#include <cstdint>
#include <functional>

class DeviceSession : public QObject {
    Q_OBJECT
public:
    explicit DeviceSession(const Invocation &invocation);
    ~DeviceSession() override;

    // Chooses the node (--port, --device or the one attached device) and opens it.
    int open();
    // Opens this node.
    int openNode(const QString &path);
    // The node's path as it may be shown (control characters and stray bytes escaped).
    QString nodePath() const;
    // Closes the port. Output the device has not taken within --timeout is dropped first, so
    // that closing never waits for a device that has stopped reading.
    void close();

    // Writes the frames in order and waits until the line has taken them all.
    int send(const QList<QByteArray> &frames);

    // Forgets the configuration replies received so far.
    void clearReplies() { replies_.clear(); }
    // Configuration replies received, by type (the last one of each type).
    const QMap<uint8_t, uint32_t> &replies() const { return replies_; }
    // Waits until a reply of every given type has come, or the timeout. Returns how the
    // wait ended; a time-out is left to the caller, who knows what the replies mean.
    EventWait::End awaitReplies(const QList<uint8_t> &types, int timeoutMs);

    // Waits until done() holds (checked at every received notification and wake()), the
    // timeout (negative: none), a signal or a lost device.
    EventWait::End waitUntil(const std::function<bool()> &done, qint64 timeoutMs)
    {
        return wait(done, timeoutMs);
    }
    // Checks the condition of a running wait again. May be posted from another thread with
    // QMetaObject::invokeMethod(session, ...).
    void wake() { wait_.wake(); }
    // The open line's file descriptor, for a thread that writes frames on its own (dup it).
    int nativeHandle() const { return int(port_.handle()); }

    // Turns the end of a wait into the exit code and its error line (0 for Done).
    int failure(EventWait::End end) const;

    // Called for every frame the state machine completes (for commands that watch the pins).
    std::function<void(const receive::Event &event)> onEvent;
    // This device's receive state: the input levels and counter of its latest frame.
    const receive::State &receiveState() const { return receive_; }
    // Bytes taken through the receive state machine so far; within onEvent, up to and
    // including the byte that completed the frame.
    int64_t bytesReceived() const { return bytes_received_; }
    // Where the next byte the device sends will stand in the received stream: the bytes taken
    // so far and those that have arrived but wait to be taken. A frame that starts at or after
    // this mark was sent after the mark was made.
    int64_t receiveMark() const;

private:
    void readDevice();
    EventWait::End wait(const std::function<bool()> &done, qint64 timeoutMs);

    const Invocation &invocation_;
    QSerialPort port_;
    QString path_; // the node as chosen (--port, --device or the one attached)
    EventWait wait_;
    receive::State receive_;
    int64_t bytes_received_ = 0;
    QMap<uint8_t, uint32_t> replies_;
    bool lost_ = false;
};

#endif
