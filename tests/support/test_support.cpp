#include "test_support.h"

#include "device_link/device_contract.h"
#include "mainwindow.h"
#include "program_state.h"
#include "pseudo_terminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace testsupport {

FakeHost::FakeHost()
{
    host::set_device_node_directory(dir_.path());
    host::set_port_enumerator([this] { return ports_; });
}

FakeHost::~FakeHost()
{
    host::set_port_enumerator({});
    host::set_device_node_directory(QString());
}

void FakeHost::setPorts(const QList<host::SerialPortEntry> &ports)
{
    ports_ = ports;
}

void FakeHost::linkNode(const QString &node, const QString &target)
{
    unlinkNode(node);
    QFile::link(target, dir_.filePath(node));
}

void FakeHost::unlinkNode(const QString &node)
{
    QFile::remove(dir_.filePath(node));
}

host::SerialPortEntry devicePort(const QString &description)
{
    return {QString::fromLatin1(contract::kManufacturer), description};
}

QString consoleText(const QWidget &window)
{
    return child<QPlainTextEdit>(window, "console")->toPlainText();
}

void resetProgram()
{
    reset_program_state();
}

} // namespace testsupport

namespace testsupport {

DeviceBench::DeviceBench() : pty_(std::make_unique<PseudoTerminal>())
{
    host_.setPorts({devicePort(QStringLiteral("C100"))});
    host_.linkNode(QStringLiteral("KALDORIUM_LPT_C100"), pty_->slavePath());
    resetProgram();
    window_ = std::make_unique<MainWindow>();
}

DeviceBench::~DeviceBench()
{
    window_.reset(); // closes the port while the node and the host seams still stand
    pty_.reset();
}

bool DeviceBench::openPort()
{
    const QString before = consoleText(*window_);
    QTest::mouseClick(child<QPushButton>(*window_, "Open_pushButton"), Qt::LeftButton);
    return consoleText(*window_) == before + QStringLiteral("Opening port - success!\n");
}

QByteArray readFromProgram(PseudoTerminal &device, int count, int timeoutMs)
{
    QByteArray bytes = device.readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < count && clock.elapsed() < timeoutMs) {
        QTest::qWait(5);
        bytes += device.readAvailable();
    }
    return bytes;
}

} // namespace testsupport
