#ifndef KALDORIUM_RELIABILITY_SUPPORT_H
#define KALDORIUM_RELIABILITY_SUPPORT_H

// Pieces shared by the reliability suites: the program with the simulated KALDORIUM-LPT
// plugged in (it can be unplugged, stalled and plugged in again), a stand-in dfu-util that
// records its arguments, and a record of the program's own warnings.

#include "simulated_device_endpoint.h"
#include "test_support.h"

#include <QByteArrayList>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class MainWindow;
class QSerialPort;

namespace reliability {

// A freshly started program (state reset) that finds the simulated device at C100 through
// the port enumeration and its device node, as it would a real one. The port list follows
// the device: it is listed while plugged in.
class SimulatedBench {
public:
    SimulatedBench();
    ~SimulatedBench();
    SimulatedBench(const SimulatedBench &) = delete;
    SimulatedBench &operator=(const SimulatedBench &) = delete;

    MainWindow &window() { return *window_; }
    SimulatedDeviceEndpoint &device() { return device_; }
    QSerialPort &port();

    void click(const char *button);
    QString console() const;
    // Clicks Open; true when the console reports the port open.
    bool open();
    // Opens the port and clicks "Run test"; true once the device has taken test frames.
    bool openAndRunTest();
    // Plugs the device in again, clicks Refresh and Open; true when the port is open again.
    bool replugAndOpen();

private:
    testsupport::FakeHost host_;
    SimulatedDeviceEndpoint device_;
    std::unique_ptr<MainWindow> window_;
};

// Enabled flag of every named widget of the window: the whole control state at once.
QMap<QString, bool> enabledFlags(const QWidget &window);

// While alive, "dfu-util" on the program's search path is a script that records its
// arguments and exits with the given status.
class StandInDfuUtil {
public:
    explicit StandInDfuUtil(int exitStatus = 0);
    ~StandInDfuUtil();
    StandInDfuUtil(const StandInDfuUtil &) = delete;
    StandInDfuUtil &operator=(const StandInDfuUtil &) = delete;

    // The arguments of each run so far, byte for byte, in order.
    QList<QByteArrayList> runs() const;
    // A directory for files the tests want to see (not) appear.
    QString scratchDirectory() const { return dir_.filePath(QStringLiteral("scratch")); }

private:
    QTemporaryDir dir_;
    QByteArray saved_path_;
};

// While alive, records every byte that the receive path takes, from its per-byte debug
// messages (switched on for the purpose and kept off standard error).
class ReceivedBytes {
public:
    ReceivedBytes();
    ~ReceivedBytes();
    ReceivedBytes(const ReceivedBytes &) = delete;
    ReceivedBytes &operator=(const ReceivedBytes &) = delete;

    QByteArray bytes() const;
    int count() const;
    // Waits, keeping the event loop turning, until `total` bytes have been taken.
    bool waitFor(int total, int timeoutMs);
};

// Records the warnings and criticals that the program writes to standard error while alive.
class WarningRecorder {
public:
    WarningRecorder();
    ~WarningRecorder();
    WarningRecorder(const WarningRecorder &) = delete;
    WarningRecorder &operator=(const WarningRecorder &) = delete;

    QStringList messages() const;
    void clear();
};

} // namespace reliability

#endif
