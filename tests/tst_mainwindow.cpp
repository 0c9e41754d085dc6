// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The window as a whole: what construction leaves behind, the console, and the port being
// let go when the window goes.
#include "console.h"
#include "console_lines.h"
#include "fake_host.h"
#include "mainwindow.h"
#include "program_state.h"
#include "pseudo_terminal.h"
#include "pty_device_bench.h"
#include "timer_wakeup.h"
#include "window_access.h"

#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

using namespace testsupport;

namespace {

const QString kFoundC100 = foundLine("C100");
const QString kRefresh = QStringLiteral("Refresh ports list\n");

class TickCounter : public QObject {
public:
    int ticks = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        ticks += event->type() == QEvent::Timer;
        return false;
    }
};

void run_event_loop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { reset_program_state(); }

    void construction();
    void timerTicksWithoutSending_data();
    void timerTicksWithoutSending();
    void tickDeadlines_data();
    void tickDeadlines();
    void oneWakeupPerTickAfterAStall();
    void consoleLinesLandAtTheEnd_data();
    void consoleLinesLandAtTheEnd();
    void consoleKeepsTheMostRecentLines();
    void closingTheWindowClosesThePort();
};

void MainWindowTest::construction()
{
    FakeHost host;
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Holmcraft KALDORIUM-LPT tester / configurator"));
    QCOMPARE(child<QTabWidget>(window, "tabWidget")->currentIndex(), 0);

    for (int number = 1; number <= 25; ++number) {
        const QString expected = number <= 17
                                     ? QStringLiteral("background-color: rgb(255,255,255);")
                                     : QStringLiteral("background-color: rgb(0,0,0);");
        QCOMPARE(pinButton(window, number)->styleSheet(), expected);
    }
    QStringList styled;
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        if (!widget->styleSheet().isEmpty() &&
            !widget->objectName().startsWith(QLatin1String("pushButton_")))
            styled << widget->objectName();
    }
    QCOMPARE(styled, QStringList());
    QVERIFY(window.styleSheet().isEmpty());

    QCOMPARE(int(serial_output_buff[0]), 0xFF);
    QCOMPARE(int(serial_output->header), 0xFF);
    QCOMPARE(window.findChildren<QSerialPort *>().size(), 1);
    QVERIFY(!window.findChild<QSerialPort *>()->isOpen());
}

void MainWindowTest::timerTicksWithoutSending_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::newRow("no device") << false;
    QTest::newRow("port open") << true;
}

void MainWindowTest::timerTicksWithoutSending()
{
    QFETCH(bool, portOpen);

    DeviceBench bench(portOpen ? QStringList{"C100"} : QStringList());
    MainWindow &window = bench.window();
    if (portOpen) {
        click(window, "Open_pushButton");
        QVERIFY(window.findChild<QSerialPort *>()->isOpen());
    }

    // The reported levels show on the pins only from the timer, every 21st tick.
    input_data = 0x01;    // D0: pin 2
    input_status = 0x08;  // S3: pin 15
    input_control = 0x01; // C0: pin 1
    QTRY_VERIFY(pinButton(window, 2)->isDown());
    QVERIFY(pinButton(window, 15)->isDown());
    QVERIFY(pinButton(window, 1)->isDown());

    QCOMPARE(bench.device().readAvailable(), QByteArray());
    QCOMPARE(int(serial_output->counter), 0);
}

void MainWindowTest::tickDeadlines_data()
{
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("next");
    // Nanoseconds; a 10 ms tick that fell due at 100 ms is delivered at `now`.
    constexpr qint64 ms = 1000000;
    QTest::newRow("on time") << 100 * ms + 50000 << 110 * ms;
    QTest::newRow("late, within the period") << 109 * ms << 110 * ms;
    QTest::newRow("late, at the next deadline") << 110 * ms << 110 * ms;
    QTest::newRow("a period behind: a fresh start") << 112 * ms << 122 * ms;
    QTest::newRow("stalled for a second") << 1100 * ms << 1110 * ms;
}

void MainWindowTest::tickDeadlines()
{
    QFETCH(qint64, now);
    QFETCH(qint64, next);
    QCOMPARE(qint64(TimerWakeup::next_due(100000000, 10000000, now)), next);
}

void MainWindowTest::oneWakeupPerTickAfterAStall()
{
    FakeHost host;
    MainWindow window;
    auto *wakeup = window.findChild<TimerWakeup *>();
    QVERIFY(wakeup);
    TickCounter counter;
    window.installEventFilter(&counter);
    run_event_loop(50);
    QThread::msleep(35); // the loop blocked, as while dfu-util runs

    const int ticksBefore = counter.ticks;
    const int64_t wakeupsBefore = wakeup->wakeups();
    run_event_loop(300);
    const int ticks = counter.ticks - ticksBefore;
    const int64_t wakeups = wakeup->wakeups() - wakeupsBefore;
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    // A wake-up left pending would spin the loop; one off the schedule would come twice.
    QVERIFY2(wakeups > 0 && wakeups <= ticks + 1,
             qPrintable(QStringLiteral("%1 wake-ups, %2 ticks").arg(wakeups).arg(ticks)));
}

void MainWindowTest::consoleLinesLandAtTheEnd_data()
{
    // Where the operator left the console's cursor: anchor and position in characters
    // from the start (-1: the end), or a mouse click at a position.
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("byMouse");

    QTest::newRow("cursor at the start") << 0 << 0 << false;
    QTest::newRow("cursor in the middle") << 30 << 30 << false;
    QTest::newRow("selection in the middle") << 10 << 40 << false;
    QTest::newRow("selection backwards") << 60 << 5 << false;
    QTest::newRow("everything selected") << 0 << -1 << false;
    QTest::newRow("clicked inside the text") << 20 << 20 << true;
}

void MainWindowTest::consoleLinesLandAtTheEnd()
{
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(bool, byMouse);

    FakeHost host;
    host.setPorts({devicePort("C100")});
    MainWindow window;
    auto *console = child<QPlainTextEdit>(window, "console");
    click(window, "refresh_pushButton");
    const QString before = consoleText(window);
    QCOMPARE(before, kFoundC100 + kRefresh + kFoundC100);

    const int end = before.size();
    QTextCursor cursor = console->textCursor();
    cursor.setPosition(anchor < 0 ? end : anchor);
    if (byMouse) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint at = console->cursorRect(cursor).center();
        QTest::mouseClick(console->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(console->textCursor().position(), position);
    } else {
        cursor.setPosition(position < 0 ? end : position, QTextCursor::KeepAnchor);
        console->setTextCursor(cursor);
    }

    click(window, "refresh_pushButton");
    const QString once = before + kRefresh + kFoundC100;
    QCOMPARE(consoleText(window), once);
    QCOMPARE(console->textCursor().position(), once.size());
    QVERIFY(!console->textCursor().hasSelection());

    click(window, "refresh_pushButton");
    QCOMPARE(consoleText(window), once + kRefresh + kFoundC100);
}

// A device that keeps reporting errors must not grow the console without end.
void MainWindowTest::consoleKeepsTheMostRecentLines()
{
    FakeHost host;
    MainWindow window;
    auto *console = child<QPlainTextEdit>(window, "console");
    QStringList lines;
    for (int n = 1; n <= kConsoleLines + 250; ++n) {
        lines << QStringLiteral("line %1\n").arg(n);
        append_to_console(console, lines.last());
    }
    QCOMPARE(consoleText(window), lines.mid(250).join(QString()));
    QCOMPARE(console->textCursor().position(), console->document()->characterCount() - 1);
}

void MainWindowTest::closingTheWindowClosesThePort()
{
    FakeHost host;
    host.setPorts({devicePort("C300")});
    PseudoTerminal line;
    host.linkNode("KALDORIUM_LPT_C300", line.slavePath());
    const QString node = host.nodeDirectory() + QStringLiteral("/KALDORIUM_LPT_C300");

    auto *window = new MainWindow;
    click(*window, "Open_pushButton");
    auto *port = window->findChild<QSerialPort *>();
    QVERIFY(port->isOpen());

    // While the window holds the node, another port cannot open it.
    QSerialPort other;
    other.setPortName(node);
    QVERIFY(!other.open(QIODevice::ReadWrite));

    // The port must be closed by the window itself, while its form still stands, not later
    // by the port object's own destruction.
    QPointer<QPlainTextEdit> console = child<QPlainTextEdit>(*window, "console");
    int closes = 0;
    bool formStood = false;
    connect(port, &QIODevice::aboutToClose, [&] {
        ++closes;
        formStood = !console.isNull();
    });
    delete window;
    QCOMPARE(closes, 1);
    QVERIFY(formStood);
    QVERIFY(other.open(QIODevice::ReadWrite));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
