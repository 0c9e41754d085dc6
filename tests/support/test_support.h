#ifndef KALDORIUM_TEST_SUPPORT_H
#define KALDORIUM_TEST_SUPPORT_H

// Shared pieces of the test suites: a stand-in host (the serial ports it reports and the
// directory of device nodes, linked to pseudo-terminals), and quick access to the window's
// widgets by object name.

#include "device_link/host_ports.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

class PseudoTerminal;
class QPlainTextEdit;

namespace testsupport {

// While alive, the program sees the ports given to setPorts() and finds its device nodes
// in a temporary directory. Restores the host's own on destruction.
class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;

    void setPorts(const QList<host::SerialPortEntry> &ports);
    // Makes <dir>/<node> a link to target (a pty slave path); replaces an older link.
    void linkNode(const QString &node, const QString &target);
    void unlinkNode(const QString &node);
    QString nodeDirectory() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QList<host::SerialPortEntry> ports_;
};

// A port entry as the device reports it.
host::SerialPortEntry devicePort(const QString &description);

template <class T> T *child(const QWidget &window, const char *objectName)
{
    T *widget = window.findChild<T *>(QString::fromLatin1(objectName));
    if (!widget)
        qFatal("no widget %s", objectName);
    return widget;
}

QString consoleText(const QWidget &window);

// Puts the program's module-level state back to its start values (each test starts the
// program afresh).
void resetProgram();

} // namespace testsupport

class MainWindow;

namespace testsupport {

// A freshly started program whose port list shows one device at C100, its device node
// leading to a pseudo-terminal: the test plays the device on the master side. The program
// state is reset before the window is built.
class DeviceBench {
public:
    DeviceBench();
    ~DeviceBench();
    DeviceBench(const DeviceBench &) = delete;
    DeviceBench &operator=(const DeviceBench &) = delete;

    MainWindow &window() { return *window_; }
    PseudoTerminal &device() { return *pty_; }

    // Clicks Open; true when the console reports the port open.
    bool openPort();

private:
    FakeHost host_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::unique_ptr<MainWindow> window_;
};

// Reads what the program writes to the device until at least `count` bytes have come or
// `timeoutMs` has passed, keeping the event loop (and with it the program's timer) turning.
QByteArray readFromProgram(PseudoTerminal &device, int count, int timeoutMs = 5000);

} // namespace testsupport

#endif
