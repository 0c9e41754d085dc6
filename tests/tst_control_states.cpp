// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Which controls each event enables or disables, on a bare form and through the window.
#include "control_states.h"
#include "db25_pins.h"
#include "fake_host.h"
#include "firmware_file_choice.h"
#include "mainwindow.h"
#include "program_state.h"
#include "pty_device_bench.h"
#include "ui_mainwindow.h"
#include "window_access.h"

#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(host::SerialPortEntry)

using namespace testsupport;

namespace {

struct Form {
    QMainWindow window;
    Ui_MainWindow ui;
    Form() { ui.setupUi(&window); }
};

// The widget's own flag, not the one its containers impose on it.
bool ownFlag(const QWidget *widget)
{
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

QStringList pinNames(const QList<int> &pins)
{
    QStringList names;
    for (int pin : pins)
        names << QStringLiteral("pushButton_%1").arg(pin);
    return names;
}

QStringList pinRange(int first, int last)
{
    QList<int> pins;
    for (int pin = first; pin <= last; ++pin)
        pins << pin;
    return pinNames(pins);
}

const QStringList kDataPinNames = pinNames(kDataPins);
const QStringList kControlPinNames = pinNames(kControlPins);
const QStringList kStatusAndGroundPinNames = pinNames(kStatusPins + kGroundPins);
const QStringList kDefaultsContainers = {"groupBox_2", "groupBox_3", "groupBox_6", "frame_5"};

// "+name" enables the widget, "-name" disables it.
QStringList on(const QStringList &names)
{
    QStringList flags;
    for (const QString &name : names)
        flags << QLatin1Char('+') + name;
    return flags;
}

QStringList off(const QStringList &names)
{
    QStringList flags;
    for (const QString &name : names)
        flags << QLatin1Char('-') + name;
    return flags;
}

using Event = std::function<void(Ui_MainWindow &)>;

const QMap<QString, Event> &events()
{
    static const QMap<QString, Event> table = {
        {"start-up", control_state::startup},
        {"no-device", control_state::no_device},
        {"device-listed", control_state::device_listed},
        {"port-opened", control_state::port_opened},
        {"port-closed", control_state::port_closed},
        {"test-started",
         [](Ui_MainWindow &ui) {
             control_state::test_started(ui);
             control_state::test_started_output_pins(ui);
         }},
        {"test-stopped",
         [](Ui_MainWindow &ui) {
             control_state::test_stopped(ui);
             control_state::test_stopped_defaults(ui);
         }},
        {"firmware-file-chosen", control_state::firmware_file_chosen},
        {"upload-started", control_state::upload_started},
    };
    return table;
}

// The flags each event sets; every widget not listed keeps its flag. test-started is
// listed with both direction choices at "Input", as the form starts.
QMap<QString, QStringList> eventFlags()
{
    const QStringList portButtons = {"Close_pushButton", "Run_pushButton", "set_pushButton"};
    const QStringList defaultsButtons = {"Defaults_set", "Defaults_read"};
    return {
        {"start-up", off(pinRange(1, 25)) + off(defaultsButtons)},
        {"no-device", off({"Open_pushButton"})},
        {"device-listed", on({"Open_pushButton"})},
        {"port-opened", on(portButtons) + off({"Open_pushButton", "refresh_pushButton"}) +
                            on(kDefaultsContainers) + on(defaultsButtons) + on({"OpenFirmware"})},
        {"port-closed", off(portButtons) + on({"Open_pushButton", "refresh_pushButton"}) +
                            off(defaultsButtons) + off({"OpenFirmware"})},
        {"test-started", on({"frame", "frame_2", "Sto_pushButton"}) + off(portButtons) +
                             off(kDefaultsContainers) + off(defaultsButtons) +
                             off({"OpenFirmware"})},
        {"test-stopped", off({"frame", "frame_2", "Sto_pushButton"}) + on(portButtons) +
                             on(defaultsButtons) + on({"OpenFirmware"}) + off(pinRange(1, 25)) +
                             on(kDefaultsContainers)},
        {"firmware-file-chosen", on({"UploadFirmware"})},
        {"upload-started", off({"UploadFirmware", "OpenFirmware"})},
    };
}

void setAll(const QWidget &window, bool enabled)
{
    for (QWidget *widget : formWidgets(window))
        widget->setEnabled(enabled);
}

// Names of the widgets whose own flag differs from the expectation.
QStringList mismatches(const QWidget &window, const QHash<QString, bool> &expected, bool otherwise)
{
    QStringList wrong;
    for (const QWidget *widget : formWidgets(window)) {
        const bool want = expected.value(widget->objectName(), otherwise);
        if (ownFlag(widget) != want)
            wrong << widget->objectName() +
                         (want ? QLatin1String(" should be on") : QLatin1String(" should be off"));
    }
    return wrong;
}

QHash<QString, bool> parseFlags(const QStringList &flags)
{
    QHash<QString, bool> parsed;
    for (const QString &flag : flags)
        parsed.insert(flag.mid(1), flag.startsWith(QLatin1Char('+')));
    return parsed;
}

} // namespace

class ControlStatesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { reset_program_state(); }

    void eachEventSetsExactlyItsFlags_data();
    void eachEventSetsExactlyItsFlags();
    void testStartedEnablesTheOutputPins_data();
    void testStartedEnablesTheOutputPins();
    void noEventEnablesAStatusOrGroundPin();
    void windowStartsDisconnected_data();
    void windowStartsDisconnected();
    void refreshTogglesOpen();
    void portClosedEnablesOpenWhateverTheScanFound();
    void uploadFollowsTheFirmwareFileOnly();
};

void ControlStatesTest::eachEventSetsExactlyItsFlags_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<QStringList>("flags");

    const QMap<QString, QStringList> table = eventFlags();
    QCOMPARE(table.keys(), events().keys());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        for (bool start : {true, false}) {
            const QByteArray row = it.key().toLatin1() + (start ? " from all on" : " from all off");
            QTest::newRow(row.constData()) << it.key() << start << it.value();
        }
    }
}

void ControlStatesTest::eachEventSetsExactlyItsFlags()
{
    QFETCH(QString, event);
    QFETCH(bool, startEnabled);
    QFETCH(QStringList, flags);

    Form form;
    const QHash<QString, bool> expected = parseFlags(flags);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(form.window.findChild<QWidget *>(it.key()), qPrintable(it.key()));

    setAll(form.window, startEnabled);
    events().value(event)(form.ui);
    QCOMPARE(mismatches(form.window, expected, startEnabled), QStringList());
}

void ControlStatesTest::testStartedEnablesTheOutputPins_data()
{
    QTest::addColumn<bool>("dataOutput");
    QTest::addColumn<bool>("controlOutput");
    QTest::addColumn<QStringList>("enabledPins");

    QTest::newRow("both input") << false << false << QStringList();
    QTest::newRow("data output") << true << false << kDataPinNames;
    QTest::newRow("control output") << false << true << kControlPinNames;
    QTest::newRow("both output") << true << true << kDataPinNames + kControlPinNames;
}

void ControlStatesTest::testStartedEnablesTheOutputPins()
{
    QFETCH(bool, dataOutput);
    QFETCH(bool, controlOutput);
    QFETCH(QStringList, enabledPins);

    Form form;
    (dataOutput ? form.ui.radioButton_2 : form.ui.radioButton)->setChecked(true);
    (controlOutput ? form.ui.radioButton_4 : form.ui.radioButton_3)->setChecked(true);
    setAll(form.window, false);
    events().value("test-started")(form.ui);

    QStringList enabled;
    for (const QString &pin : pinRange(1, 25)) {
        if (ownFlag(child<QWidget>(form.window, qPrintable(pin))))
            enabled << pin;
    }
    enabled.sort();
    enabledPins.sort();
    QCOMPARE(enabled, enabledPins);
    QVERIFY(ownFlag(form.ui.frame));
    QVERIFY(ownFlag(form.ui.frame_2));
    if (dataOutput && controlOutput)
        QCOMPARE(enabled.size(), 12);
}

void ControlStatesTest::noEventEnablesAStatusOrGroundPin()
{
    Form form;
    form.ui.radioButton_2->setChecked(true);
    form.ui.radioButton_4->setChecked(true);
    setAll(form.window, false);
    for (auto it = events().cbegin(); it != events().cend(); ++it) {
        it.value()(form.ui);
        for (const QString &pin : kStatusAndGroundPinNames)
            QVERIFY2(!ownFlag(child<QWidget>(form.window, qPrintable(pin))),
                     qPrintable(it.key() + QLatin1String(" enabled ") + pin));
    }
}

void ControlStatesTest::windowStartsDisconnected_data()
{
    QTest::addColumn<QList<host::SerialPortEntry>>("ports");
    QTest::addColumn<bool>("openEnabled");
    QTest::addColumn<QString>("console");

    const QString notFound = QStringLiteral("KALDORIUM-LPT not found\n");
    QTest::newRow("no port") << QList<host::SerialPortEntry>{} << false << notFound;
    QTest::newRow("foreign port only")
        << QList<host::SerialPortEntry>{{"FTDI", "C100"}} << false << notFound;
    QTest::newRow("one device") << QList<host::SerialPortEntry>{devicePort("C100")} << true
                                << "KALDORIUM-LPT device found with address 0xC100\n";
}

void ControlStatesTest::windowStartsDisconnected()
{
    QFETCH(QList<host::SerialPortEntry>, ports);
    QFETCH(bool, openEnabled);
    QFETCH(QString, console);

    FakeHost host;
    host.setPorts(ports);
    MainWindow window;
    QCOMPARE(consoleText(window), console);

    // The form's own "off" flags, then start-up, then no-device when nothing was found.
    QStringList disabled = {"Close_pushButton", "Run_pushButton", "Sto_pushButton",
                            "set_pushButton",   "OpenFirmware",   "UploadFirmware",
                            "Defaults_set",     "Defaults_read"};
    disabled += pinRange(1, 25);
    if (!openEnabled)
        disabled << "Open_pushButton";
    QCOMPARE(mismatches(window, parseFlags(off(disabled)), true), QStringList());

    // Disconnected: the DEFAULTS choices are usable, their buttons are not.
    QVERIFY(child<QWidget>(window, "default_D0")->isEnabled());
    QVERIFY(child<QWidget>(window, "data_default_output_radioButton")->isEnabled());
    QVERIFY(!child<QWidget>(window, "Defaults_set")->isEnabled());
}

void ControlStatesTest::refreshTogglesOpen()
{
    FakeHost host;
    MainWindow window;
    auto *open = child<QWidget>(window, "Open_pushButton");
    QVERIFY(!open->isEnabled());

    const QList<QPair<QList<host::SerialPortEntry>, bool>> refreshes = {
        {{devicePort("C100")}, true},
        {{}, false},
        {{{"holmcraft kaldorium-lpt v1", "C100"}}, false},
        {{{"FTDI", "C300"}, devicePort("C300")}, true},
        {{devicePort("C200")}, true},
    };
    for (const auto &refresh : refreshes) {
        host.setPorts(refresh.first);
        click(window, "refresh_pushButton");
        QCOMPARE(open->isEnabled(), refresh.second);
        QVERIFY(child<QWidget>(window, "refresh_pushButton")->isEnabled());
    }
}

void ControlStatesTest::portClosedEnablesOpenWhateverTheScanFound()
{
    FakeHost host;
    MainWindow window;
    QVERIFY(!child<QWidget>(window, "Open_pushButton")->isEnabled());

    // The end of a firmware upload applies port-closed without a click.
    QVERIFY(QMetaObject::invokeMethod(&window, "on_Close_pushButton_clicked"));
    QVERIFY(child<QWidget>(window, "Open_pushButton")->isEnabled());
    QVERIFY(child<QWidget>(window, "refresh_pushButton")->isEnabled());
    QVERIFY(consoleText(window).endsWith(QLatin1String("Close port\n")));
}

void ControlStatesTest::uploadFollowsTheFirmwareFileOnly()
{
    DeviceBench bench;
    const MainWindow &window = bench.window();
    auto *upload = child<QWidget>(window, "UploadFirmware");

    QVERIFY(bench.openPort());
    QVERIFY(!upload->isEnabled());

    // A file that passes the dialog but not the upload.
    FirmwareFileChoice choice(QStringLiteral("/tmp/notes.txt"));
    click(window, "OpenFirmware");
    QVERIFY(upload->isEnabled());

    // A test, a rejected file, a cancelled dialog and a closed port all leave it enabled.
    const char *steps[] = {"Run_pushButton", "Sto_pushButton", "UploadFirmware", "OpenFirmware",
                           "Close_pushButton"};
    for (const char *step : steps) {
        if (qstrcmp(step, "OpenFirmware") == 0)
            choice.set(QString());
        click(window, step);
        QVERIFY2(upload->isEnabled(), step);
    }
    QVERIFY(consoleText(window).contains(QLatin1String("Incorrect path to file\n")));
    QVERIFY(consoleText(window).contains(QLatin1String("File not loaded\n")));
    QVERIFY(!child<QWidget>(window, "OpenFirmware")->isEnabled());
    QVERIFY(upload->isEnabled());
}

QTEST_MAIN(ControlStatesTest)
#include "tst_control_states.moc"
