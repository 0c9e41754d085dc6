// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// One program per device: the window and kaldorium-lpt against one simulated device, each
// reaching it through another name of its node (the device's node link and the tty's own
// path), in every order. The second program is refused with the holder named where the
// system tells, and the first goes on undisturbed.

#include "cli_runner.h"
#include "console_lines.h"
#include "mainwindow.h"
#include "simulated_device_rig.h"
#include "window_access.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPort>
#include <QtTest>

#include <csignal>

using namespace testsupport;

namespace {

enum class Program { Window, CommandLine, PlainQtPort };

QString ownName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                          : QString();
}

} // namespace

Q_DECLARE_METATYPE(Program)

class TestDeviceInUse : public QObject {
    Q_OBJECT

private slots:
    void secondProgramRefused_data();
    void secondProgramRefused();
    void lockOfAKilledProgramGoesWithIt();
};

void TestDeviceInUse::secondProgramRefused_data()
{
    QTest::addColumn<Program>("first");
    QTest::addColumn<Program>("second");
    QTest::newRow("window, then command line") << Program::Window << Program::CommandLine;
    QTest::newRow("command line, then window") << Program::CommandLine << Program::Window;
    QTest::newRow("command line, then command line")
        << Program::CommandLine << Program::CommandLine;
    // A program that holds the tty's own name through Qt but takes no lock: Qt's lock file
    // refuses the command line, which cannot tell who holds it.
    QTest::newRow("plain Qt port, then command line")
        << Program::PlainQtPort << Program::CommandLine;
}

void TestDeviceInUse::secondProgramRefused()
{
    QFETCH(Program, first);
    QFETCH(Program, second);
    SimulatedDeviceRig rig; // the window reaches the device through its node link
    QVERIFY(showWindow(rig.window()));
    const QString tty = rig.endpoint().slavePath();
    CliRunner cli;
    QSerialPort plain;

    qint64 pid = 0; // the holder the second program should name; 0: none known
    QString name;
    switch (first) {
    case Program::Window:
        QVERIFY(rig.open());
        pid = QCoreApplication::applicationPid();
        name = ownName();
        break;
    case Program::CommandLine: {
        // Drives pin 2 for a second: 100 test frames whose counters must run without a gap.
        QProcess &driver = cli.start({"--port", rig.endpoint().linkPath(), "pins", "drive",
                                      "--data", "0x01", "--for", "1s"});
        QTRY_VERIFY(rig.device().testFrames() > 0);
        pid = driver.processId();
        name = QStringLiteral("kaldorium-lpt");
        break;
    }
    case Program::PlainQtPort:
        plain.setPortName(tty);
        QVERIFY(plain.open(QIODevice::ReadWrite));
        break;
    }

    if (second == Program::Window) {
        const QString before = rig.console();
        QVERIFY(!rig.open());
        QCOMPARE(rig.console(), before + QStringLiteral("Opening port - failed!\n") +
                                    errorLine(QStringLiteral("KALDORIUM_LPT_C100"),
                                              QStringLiteral("The device is in use by another "
                                                             "program (PID %1, %2)")
                                                  .arg(pid)
                                                  .arg(name)));
    } else {
        CliRunner other;
        const CliResult refused = other.run({"--port", tty, "defaults", "read"});
        QVERIFY(refused.finished);
        QCOMPARE(refused.exitCode, 69);
        const QString holder = pid ? QStringLiteral("PID %1 (%2)").arg(pid).arg(name)
                                   : QStringLiteral("another program");
        QCOMPARE(
            QString::fromUtf8(refused.err),
            QStringLiteral("kaldorium-lpt: %1 is in use by %2; close it first\n").arg(tty, holder));
        QCOMPARE(refused.out, QByteArray());
    }

    // The first program has gone on undisturbed.
    switch (first) {
    case Program::Window: {
        const QString before = rig.console();
        rig.click("Defaults_read");
        QTRY_COMPARE(rig.console(), before + QStringLiteral("The default states have been read\n") +
                                        kDataTypeLine + kDataLevelsLine + kControlTypeLine +
                                        kControlLevelsLine + kStatusLevelsLine);
        break;
    }
    case Program::CommandLine: {
        const CliResult driven = cli.finish();
        QCOMPARE(driven.exitCode, 0);
        QVERIFY(rig.device().testFrames() >= 100);
        QCOMPARE(rig.device().counterGaps(), 0);
        QCOMPARE(rig.device().brokenFrames(), 0);
        break;
    }
    case Program::PlainQtPort:
        QVERIFY(plain.isOpen());
        break;
    }
}

void TestDeviceInUse::lockOfAKilledProgramGoesWithIt()
{
    SimulatedDeviceRig rig;
    QVERIFY(showWindow(rig.window()));
    CliRunner cli;
    QProcess &driver = cli.start(
        {"--port", rig.endpoint().slavePath(), "pins", "drive", "--data", "0x01", "--for", "60s"});
    QTRY_VERIFY(rig.device().testFrames() > 0);
    ::kill(pid_t(driver.processId()), SIGKILL);
    QCOMPARE(cli.finish().exitCode, -1); // killed
    QVERIFY(rig.open());
}

QTEST_MAIN(TestDeviceInUse)
#include "tst_device_in_use.moc"
