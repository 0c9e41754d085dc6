#include "test_support.h"

#include "device_link/device_contract.h"
#include "program_state.h"

#include <QFile>
#include <QPlainTextEdit>

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
