#include "reliability_support.h"

#include "mainwindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <cstring>

namespace reliability {

SimulatedBench::SimulatedBench()
{
    device_.setLinkDirectory(host_.nodeDirectory());
    device_.start();
    host::set_port_enumerator([this] {
        QList<host::SerialPortEntry> ports;
        if (device_.isAttached())
            ports.append({device_.manufacturer(), device_.description()});
        return ports;
    });
    testsupport::resetProgram();
    window_ = std::make_unique<MainWindow>();
}

SimulatedBench::~SimulatedBench()
{
    window_.reset(); // closes the port before its line goes
    device_.drop();
}

QSerialPort &SimulatedBench::port()
{
    return *window_->findChild<QSerialPort *>();
}

void SimulatedBench::click(const char *button)
{
    QTest::mouseClick(testsupport::child<QAbstractButton>(*window_, button), Qt::LeftButton);
}

QString SimulatedBench::console() const
{
    return testsupport::consoleText(*window_);
}

bool SimulatedBench::open()
{
    const QString before = console();
    click("Open_pushButton");
    return console() == before + QStringLiteral("Opening port - success!\n");
}

bool SimulatedBench::openAndRunTest()
{
    if (!open())
        return false;
    QSignalSpy frames(&device_, &SimulatedDeviceEndpoint::testFrameReceived);
    click("Run_pushButton");
    return frames.count() > 0 || frames.wait(5000);
}

bool SimulatedBench::replugAndOpen()
{
    device_.reconnect();
    click("refresh_pushButton");
    return open();
}

QMap<QString, bool> enabledFlags(const QWidget &window)
{
    QMap<QString, bool> flags;
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        if (!widget->objectName().isEmpty() &&
            !widget->objectName().startsWith(QLatin1String("qt_")))
            flags.insert(widget->objectName(), widget->isEnabled());
    }
    return flags;
}

StandInDfuUtil::StandInDfuUtil(int exitStatus)
{
    const QString log = dir_.filePath(QStringLiteral("runs"));
    QDir(dir_.path()).mkpath(QStringLiteral("bin"));
    QDir(dir_.path()).mkpath(QStringLiteral("scratch"));
    // Each run appends its arguments, each ended by a zero byte, and a record separator.
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "printf '%s\\0' \"$@\" >> '%1'\n"
                                          "printf '\\036' >> '%1'\n"
                                          "exit %2\n")
                               .arg(log)
                               .arg(exitStatus);
    QFile tool(dir_.filePath(QStringLiteral("bin/dfu-util")));
    tool.open(QIODevice::WriteOnly);
    tool.write(script.toUtf8());
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    saved_path_ = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir_.filePath(QStringLiteral("bin"))) + ':' + saved_path_);
}

StandInDfuUtil::~StandInDfuUtil()
{
    qputenv("PATH", saved_path_);
}

QList<QByteArrayList> StandInDfuUtil::runs() const
{
    QFile log(dir_.filePath(QStringLiteral("runs")));
    QList<QByteArrayList> runs;
    if (!log.open(QIODevice::ReadOnly))
        return runs;
    const QList<QByteArray> records = log.readAll().split('\036');
    for (const QByteArray &record : records) {
        if (record.isEmpty())
            continue;
        QByteArrayList arguments = record.split('\0');
        arguments.removeLast(); // after the last terminator
        runs.append(arguments);
    }
    return runs;
}

namespace {

QByteArray received;
QLoggingCategory::CategoryFilter previous_filter = nullptr;
QtMessageHandler handler_before_bytes = nullptr;

void debug_for_bytes(QLoggingCategory *category)
{
    if (previous_filter)
        previous_filter(category);
    if (qstrcmp(category->categoryName(), "default") == 0)
        category->setEnabled(QtDebugMsg, true);
}

void record_byte(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && context.function &&
        std::strstr(context.function, "MainWindow::readData")) {
        received.append(char(message.toInt()));
        return;
    }
    if (handler_before_bytes)
        handler_before_bytes(type, context, message);
}

} // namespace

ReceivedBytes::ReceivedBytes()
{
    received.clear();
    handler_before_bytes = qInstallMessageHandler(record_byte);
    previous_filter = QLoggingCategory::installFilter(debug_for_bytes);
}

ReceivedBytes::~ReceivedBytes()
{
    QLoggingCategory::installFilter(previous_filter);
    previous_filter = nullptr;
    qInstallMessageHandler(handler_before_bytes);
    handler_before_bytes = nullptr;
}

QByteArray ReceivedBytes::bytes() const
{
    return received;
}

int ReceivedBytes::count() const
{
    return received.size();
}

bool ReceivedBytes::waitFor(int total, int timeoutMs)
{
    return QTest::qWaitFor([total] { return received.size() >= total; }, timeoutMs);
}

namespace {

QMutex recorded_mutex;
QStringList recorded;
QtMessageHandler previous_handler = nullptr;

void record_message(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        QMutexLocker lock(&recorded_mutex);
        recorded.append(message);
    }
    if (previous_handler)
        previous_handler(type, context, message);
}

} // namespace

WarningRecorder::WarningRecorder()
{
    clear();
    previous_handler = qInstallMessageHandler(record_message);
}

WarningRecorder::~WarningRecorder()
{
    qInstallMessageHandler(previous_handler);
    previous_handler = nullptr;
}

QStringList WarningRecorder::messages() const
{
    QMutexLocker lock(&recorded_mutex);
    return recorded;
}

void WarningRecorder::clear()
{
    QMutexLocker lock(&recorded_mutex);
    recorded.clear();
}

} // namespace reliability
