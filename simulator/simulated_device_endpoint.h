// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_SIMULATED_DEVICE_ENDPOINT_H
#define KALDORIUM_SIMULATED_DEVICE_ENDPOINT_H

// A SimulatedDevice behind a pseudo-terminal: the program opens the slave side as its serial
// port, exactly as it would open a real KALDORIUM-LPT's device node.
//
// - Reads what the host writes (QSocketNotifier on the master), feeds the device, writes its
//   replies at once.
// - Sends input status frames unasked: one every statusInterval ms (default 5), or, in flood
//   mode, as many as a given byte rate allows. Either way it holds back while the host has
//   more than a few kilobytes unread, as a USB device can send only when the host polls it.
// - Keeps a symlink <linkDirectory>/KALDORIUM_LPT_C100 (the node of the device's current
//   address, renamed after a set-address command) pointing at the slave path.
// - drop() hangs the line up and removes the link (unplug); reconnect() makes a new pty and
//   link and powers the device on again (plug in). After the bootloader command the device
//   falls silent and the endpoint drops the line bootloaderDropDelay ms later.
// - setStalled(true) stops reading the master: the host's writes back up. Status frames keep
//   coming while stalled.
//
// Threads: the endpoint may live in its own QThread. Its notifiers and timers are made in
// start()/reconnect(), in the endpoint's thread. The public slots and setters may be called
// from any thread: from another thread they run in the endpoint's thread and return when
// done (blocking queued call; the endpoint's thread must be running its event loop). The
// const queries are guarded by a mutex and may be called from any thread at any time.
// Drop (or stop the thread after a drop) before deleting an endpoint that lives in another
// thread.

#include "pseudo_terminal.h"
#include "simulated_device.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;

class SimulatedDeviceEndpoint : public QObject {
    Q_OBJECT
public:
    // Byte counts for benchmarks.
    struct Traffic {
        qint64 bytesFromHost = 0;
        qint64 bytesToHost = 0;
        qint64 statusFramesSent = 0;
        qint64 statusFramesHeldBack = 0; // not made because the host had too much unread
    };

    explicit SimulatedDeviceEndpoint(QObject *parent = nullptr);
    ~SimulatedDeviceEndpoint() override;

    // --- Settings (any thread; take effect at once) ----------------------------------------

    // Directory for the device node link; empty (the default) makes no link.
    void setLinkDirectory(const QString &directory);
    // Milliseconds between status frames in paced mode (default 5; at least 1).
    void setStatusInterval(int ms);
    // Flood mode: status frames at this many bytes per second; 0 (default) = paced mode.
    void setFloodRate(int bytesPerSecond);
    // Delay between the bootloader command and the hang-up (default 100 ms).
    void setBootloaderDropDelay(int ms);
    // Unread bytes on the host side above which no status frame is made (default 512 in
    // paced mode; flood mode uses at least 3000).
    void setHostBacklogLimit(int bytes);
    // When set, a new address takes effect on the host side (node link, description) only
    // when the device is plugged in again, as a USB device's identity does; by default at
    // once.
    void setAddressShownAfterReplug(bool on);
    // Passed to SimulatedDevice::setPlug and setFaults.
    void setPlug(const loopback::Plug &plug);
    void setFaults(const SimulatedDevice::Faults &faults);

    // --- Queries (any thread) -------------------------------------------------------------

    bool isAttached() const; // between start()/reconnect() and drop()
    bool isStalled() const;
    QString slavePath() const; // empty while dropped
    QString linkPath() const;  // full path of the node link; empty when there is none
    // As the host's serial-port enumeration would report the device: the manufacturer
    // string, and the description (address digits, "C100"), empty while dropped.
    QString manufacturer() const { return SimulatedDevice::manufacturer(); }
    QString description() const;
    SimulatedDevice snapshot() const; // a copy of the device (callbacks cleared)
    Traffic traffic() const;

    // For use from the endpoint's own thread only (for example a test that drives the
    // endpoint on its main thread).
    SimulatedDevice &device() { return device_; }

public slots:
    void start();     // attach: pty, link, notifier, status frames (no-op when attached)
    void drop();      // unplug: hang up the line, remove the link (no-op when dropped)
    void reconnect(); // plug in again: drop if needed, then a new pty and link, power-on
    void setStalled(bool stalled);
    void injectErrors(quint8 bits);    // passed to SimulatedDevice::injectErrors
    void setExternalNets(quint8 nets); // passed to SimulatedDevice::setExternalNets

signals:
    void attached(const QString &slavePath);
    void testFrameReceived(quint8 counter);
    void commandReceived(quint8 code, quint32 value);
    void addressChanged(quint32 address);
    void bootloaderEntered();
    void dropped();

private:
    template <typename F> void inOwnThread(F &&f);
    void attach();
    void detach();
    void readHost();
    void sendStatus();
    void flush();
    void restartPacing();
    void updateLink();
    void removeLink();

    mutable QMutex mutex_; // guards device_, slave_path_, link_path_, traffic_, stalled_
    SimulatedDevice device_;
    std::unique_ptr<PseudoTerminal> pty_;
    QString slave_path_;
    QString link_dir_;
    QString link_path_;
    Traffic traffic_;
    bool stalled_ = false;

    QSocketNotifier *read_notifier_ = nullptr;
    QSocketNotifier *write_notifier_ = nullptr;
    QTimer *status_timer_ = nullptr;
    QByteArray outbox_; // bytes for the host that the line did not take yet

    int status_interval_ms_ = 5;
    int flood_rate_ = 0;
    int bootloader_drop_delay_ms_ = 100;
    int backlog_limit_ = 512;
    bool address_after_replug_ = false;
    QString shown_description_; // what the host sees while attached
    QElapsedTimer flood_clock_;
    qint64 flood_sent_ = 0;
    int session_ = 0; // advanced on every attach and detach; cancels a pending bootloader drop
};

#endif
