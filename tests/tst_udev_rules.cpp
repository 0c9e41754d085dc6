// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// packaging/60-kaldorium-lpt.rules applied by udev itself: `udevadm test` on the synthetic
// devices of tests/devices/, all in one umockdev testbed, with no other rules loaded. For
// each event: the links, tags and properties udev gives the device, and its node's group and
// mode. udevadm runs as root in a mount namespace of its own (tst_udev_rules_sandbox.sh);
// the suite checks that the host's mounts, /dev and /run/udev are as they were. Where the
// release's udevadm has `verify`, the file also passes it.

#include "umockdev_testbed.h"

#include "device_link/device_contract.h"
#include "device_link/discovery.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <unistd.h>

#ifndef KALDORIUM_UDEV_RULES
#error "KALDORIUM_UDEV_RULES must name the rules file"
#endif
#ifndef KALDORIUM_UDEV_SANDBOX
#error "KALDORIUM_UDEV_SANDBOX must name tst_udev_rules_sandbox.sh"
#endif

using namespace testsupport;

namespace {

using Renamed = QMap<QString, QString>;

const QString kTty = QStringLiteral("/tty/");

// A sysfs attribute line of the C100 description, replaced (a null text: left out).
Renamed withAttribute(const QString &name, const QString &original, const QString &text)
{
    const QString line = QStringLiteral("A: %1=%2\\n\n").arg(name);
    return {{line.arg(original), text.isNull() ? QString() : line.arg(text)}};
}

// One device of the testbed: a description, and the texts replaced to place it.
struct Placed {
    QString description;
    Renamed renamed;
};

// The device paths of the KALDORIUM-LPT descriptions as placed: the tty, its interface and
// its USB device.
QString ttyPath(int port)
{
    return QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1/1-%1:1.0/tty/ttyACM%1")
        .arg(port);
}
QString usbDevicePath(int port)
{
    return QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(port);
}

// What udev made of one event.
struct Outcome {
    bool ran = false; // udevadm processed this very device and action
    QStringList links;
    QStringList tags;
    bool modemManagerIgnores = false;
    QString group; // empty: left as the kernel made the node
    QString mode;
    QStringList complaints; // what udev says is wrong in the rules file
    QString output;         // udevadm's own words, for a failure message
};

// The product strings of the address descriptions, letter case as they are.
const QStringList kProducts = {"C100", "c200", "C300", "c400", "C500", "c600", "C700", "c800"};

// Product strings beyond a bare address: {product, node the program opens (empty: none)}.
const QList<QPair<QString, QString>> kProductTexts = {
    {"KALDORIUM-LPT c500 port", "KALDORIUM_LPT_C500"},
    {"0xC300", "KALDORIUM_LPT_C300"},
    {"c200 c100", "KALDORIUM_LPT_C100"},
    {"C800C700", "KALDORIUM_LPT_C700"},
    {"C1000", "KALDORIUM_LPT_C100"},
    {"C2O0", ""},
    {"C900", ""},
    {"100", ""},
    {"", ""},
    {QString(), ""},
};

// Manufacturer strings beyond the lookalike description: {manufacturer, is the device}.
// udev, like the program's sysfs fallback, ignores white space at the end of an attribute.
const QList<QPair<QString, bool>> kManufacturers = {
    {"Holmcraft KALDORIUM-LPT V1 rev B", false},
    {"The Holmcraft KALDORIUM-LPT V1", false},
    {"Holmcraft KALDORIUM-LPT", false},
    {"Holmcraft_KALDORIUM-LPT_V1", false},
    {"", false},
    {QString(), false},
    {"Holmcraft KALDORIUM-LPT V1  ", true},
};

constexpr int kAddressPort = 11;     // C100 in port 11 ... c800 in port 18
constexpr int kWithoutUdevPort = 10; // the C100 description without udev's properties
constexpr int kBootloaderPort = 9;
constexpr int kProductPort = 21;      // kProductTexts from port 21 on
constexpr int kManufacturerPort = 41; // kManufacturers from port 41 on

QList<Placed> testbedDevices()
{
    QList<Placed> placed = {{"two-kaldorium-lpt", {}},
                            {"other-maker-acm", {{"ttyACM1", "ttyACM5"}}},
                            {"ftdi-cable", {}},
                            {"lookalike-manufacturers", {}},
                            {"kaldorium-lpt-dfu", moved_to(kBootloaderPort)},
                            {"kaldorium-lpt-c100-without-udev", moved_to(kWithoutUdevPort)}};
    for (int i = 0; i < kProducts.size(); ++i)
        placed.append({"kaldorium-lpt-" + kProducts[i].toLower(), moved_to(kAddressPort + i)});
    for (int i = 0; i < kProductTexts.size(); ++i) {
        placed.append(
            {"kaldorium-lpt-c100",
             moved_to(kProductPort + i, withAttribute("product", "C100", kProductTexts[i].first))});
    }
    for (int i = 0; i < kManufacturers.size(); ++i) {
        placed.append({"kaldorium-lpt-c100",
                       moved_to(kManufacturerPort + i,
                                withAttribute("manufacturer", "Holmcraft KALDORIUM-LPT V1",
                                              kManufacturers[i].first))});
    }
    return placed;
}

QStringList listing(const QString &directory)
{
    QStringList lines;
    QDirIterator it(directory,
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(info.filePath(), info.symLinkTarget())
                     .arg(info.lastModified().toMSecsSinceEpoch())
                     .arg(int(info.permissions()));
    }
    lines.sort();
    return lines;
}

// What the host shows of udev's work and of mounts: the sandbox must leave all of it alone.
QStringList hostState()
{
    QStringList state;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (mounts.open(QIODevice::ReadOnly))
        state << QString::fromUtf8(mounts.readAll()).split(QLatin1Char('\n'));
    const QStringList nodes =
        QDir(QStringLiteral("/dev"))
            .entryList({"KALDORIUM_LPT_*", "ttyACM*", "ttyUSB*"}, QDir::AllEntries | QDir::System);
    for (const QString &node : nodes)
        state << QStringLiteral("/dev/") + node;
    state << listing(QStringLiteral("/dev/char")).filter(QRegularExpression("/1(66|88|89):"));
    state << listing(QStringLiteral("/dev/bus/usb"));
    state << listing(QStringLiteral("/run/udev"));
    state << listing(QStringLiteral("/etc/udev/rules.d"));
    state << listing(QStringLiteral("/usr/lib/udev/rules.d"));
    return state;
}

QString nodeName(const QString &path)
{
    return path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
}

// udevadm test's output of one event: its properties, and (udev of Debian 13) the sections
// that say what it would do to the node; the scratch /dev (udev of Debian 12 applies it).
Outcome parseOutcome(const QString &action, const QString &path, const QStringList &lines)
{
    Outcome outcome;
    outcome.output = lines.join(QLatin1Char('\n'));
    static const QRegularExpression property(QStringLiteral("^\\s*([A-Z][A-Z0-9_]*)=(.*)$"));
    QMap<QString, QString> properties;
    QMap<QString, QStringList> scratch; // node -> type, link target, group, mode
    bool inScratch = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line == QLatin1String("--- /dev")) {
            inScratch = true;
            continue;
        }
        if (inScratch) {
            const QStringList fields = line.split(QLatin1Char(' '));
            if (fields.size() == 5)
                scratch.insert(fields[0], fields.mid(1));
            continue;
        }
        // udev reads past a rule it cannot use, and says so.
        static const QRegularExpression complaint(
            QStringLiteral("\\.rules:\\d+ .*(invalid|ignor|unknown|fail)"),
            QRegularExpression::CaseInsensitiveOption);
        if (complaint.match(line).hasMatch())
            outcome.complaints << line;
        const QRegularExpressionMatch m = property.match(line);
        if (m.hasMatch())
            properties.insert(m.captured(1), m.captured(2));
        if (line == QLatin1String("Device node group:") && i + 1 < lines.size())
            outcome.group = lines[i + 1].trimmed().section(QLatin1Char(' '), 0, 0);
        if (line == QLatin1String("Device node permission:") && i + 1 < lines.size())
            outcome.mode = lines[i + 1].trimmed();
    }
    outcome.ran = properties.value(QStringLiteral("DEVPATH")) == path &&
                  properties.value(QStringLiteral("ACTION")) == action;
    for (const QString &link :
         properties.value(QStringLiteral("DEVLINKS")).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        outcome.links << nodeName(link);
    outcome.tags =
        properties.value(QStringLiteral("TAGS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    outcome.modemManagerIgnores = properties.value(QStringLiteral("ID_MM_DEVICE_IGNORE")) == "1";

    // udev of Debian 12 has applied group, mode and links to the scratch /dev.
    const QString node = nodeName(properties.value(QStringLiteral("DEVNAME")));
    const QStringList made = scratch.value(node);
    if (outcome.group.isEmpty() && made.size() == 4 &&
        !(made[2] == QLatin1String("root") && made[3] == QLatin1String("600"))) {
        outcome.group = made[2];
        outcome.mode = made[3];
    }
    for (auto it = scratch.cbegin(); it != scratch.cend(); ++it) {
        if (it.value()[0] != QLatin1String("l") || it.key().startsWith(QLatin1String("char/")))
            continue;
        const QString target =
            QDir::cleanPath(QStringLiteral("/dev/") + QFileInfo(it.key()).path() +
                            QLatin1Char('/') + it.value()[1]);
        if (target != QStringLiteral("/dev/") + node || !outcome.links.contains(it.key()))
            outcome.links << QStringLiteral("stray link ") + it.key() + QStringLiteral(" -> ") +
                                 it.value()[1];
    }
    if (outcome.mode.startsWith(QLatin1Char('0')))
        outcome.mode.remove(0, 1);
    return outcome;
}

// What the rules should give an event: the node's link (empty: none), tags, ModemManager's
// ignore flag, the node's group and mode (empty: left as the kernel made it).
struct Expected {
    QString link;
    QStringList tags;
    bool modemManagerIgnores = false;
    QString group;
    QString mode;
};

Expected devicePort(const QString &link)
{
    return {link, {"uaccess"}, true, "dialout", "660"};
}
const Expected kBootloader{QString(), {"uaccess"}, false, "plugdev", "664"};
const Expected kNothing{};

// Empty when the outcome is as expected; otherwise what differs, and udevadm's words.
QString mismatch(const Outcome &o, const Expected &e)
{
    if (!o.ran)
        return QStringLiteral("udevadm did not process the event:\n") + o.output;
    QStringList differences = o.complaints;
    const QStringList links = e.link.isEmpty() ? QStringList() : QStringList{e.link};
    if (o.links != links)
        differences << QStringLiteral("links [%1], expected [%2]")
                           .arg(o.links.join(QLatin1Char(' ')), links.join(QLatin1Char(' ')));
    if (o.tags != e.tags)
        differences << QStringLiteral("tags [%1], expected [%2]")
                           .arg(o.tags.join(QLatin1Char(' ')), e.tags.join(QLatin1Char(' ')));
    if (o.modemManagerIgnores != e.modemManagerIgnores)
        differences << QStringLiteral("ID_MM_DEVICE_IGNORE %1").arg(o.modemManagerIgnores);
    if (o.group != e.group || o.mode != e.mode)
        differences << QStringLiteral("group '%1' mode '%2', expected '%3' '%4'")
                           .arg(o.group, o.mode, e.group, e.mode);
    if (differences.isEmpty())
        return QString();
    return differences.join(QStringLiteral("; ")) + QStringLiteral("\nudevadm:\n") + o.output;
}

#define EXPECT_OUTCOME(outcome, expected)                                                          \
    do {                                                                                           \
        const QString problem = mismatch(outcome, expected);                                       \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

} // namespace

class UdevRulesTest : public QObject {
    Q_OBJECT

private:
    QStringList hostBefore_;
    QMap<QString, Outcome> outcomes_; // by "<action> <device path>"
    QString sandboxError_;
    bool ran_ = false;

    // Runs udevadm on every event, in one sandbox, and keeps what it made of each.
    void runUdevadm(const QStringList &events);
    Outcome outcome(const QString &action, const QString &path);

private slots:
    void initTestCase();

    void addressGivesItsNode_data();
    void addressGivesItsNode();
    void productTextGivesTheProgramsNode_data();
    void productTextGivesTheProgramsNode();
    void manufacturerMustMatchWhole_data();
    void manufacturerMustMatchWhole();
    void otherDevicesGetNothing_data();
    void otherDevicesGetNothing();
    void bootloaderGetsAccess_data();
    void bootloaderGetsAccess();

    void udevadmVerifyAcceptsTheFile();
    void fileNameSortsBeforeSeatLate();
    void hostUntouched();
};

void UdevRulesTest::initTestCase()
{
    if (geteuid() != 0)
        return; // each udevadm test skips with its reason
    hostBefore_ = hostState();

    // Every event the tests look at, in one sandbox: each tty plugged in, and these.
    QStringList events;
    for (const Placed &placed : testbedDevices()) {
        for (const QString &path : device_paths(placed.description, placed.renamed)) {
            if (path.contains(kTty))
                events << QStringLiteral("add ") + path;
        }
    }
    for (int i = 0; i < kProducts.size(); ++i)
        events << QStringLiteral("change ") + ttyPath(kAddressPort + i);
    const QString bus = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");
    const QString bootloader = usbDevicePath(kBootloaderPort);
    events << "remove " + ttyPath(kAddressPort) << "add " + usbDevicePath(kAddressPort)
           << "change " + usbDevicePath(kAddressPort)
           << "add " + usbDevicePath(kAddressPort) + "/1-11:1.0"
           << "add " + bus + "/1-6/1-6:1.0/ttyUSB0"
           << "add " + bus + "/1-6"
           << "add " + bus << "add " + bootloader << "change " + bootloader
           << "remove " + bootloader << "add " + bootloader + "/1-9:1.0";
    runUdevadm(events);
}

void UdevRulesTest::runUdevadm(const QStringList &events)
{
    ran_ = true;
    UmockdevTestbed testbed;
    for (const Placed &placed : testbedDevices())
        testbed.add(placed.description, placed.renamed);

    QProcess sandbox;
    sandbox.setProcessChannelMode(QProcess::MergedChannels);
    sandbox.start(QStringLiteral("unshare"),
                  {"--mount", "--propagation", "unchanged", "sh",
                   QStringLiteral(KALDORIUM_UDEV_SANDBOX), QStringLiteral(KALDORIUM_UDEV_RULES),
                   testbed.sysDirectory()});
    if (!sandbox.waitForStarted(10000)) {
        sandboxError_ = QStringLiteral("cannot start unshare: ") + sandbox.errorString();
        return;
    }
    sandbox.write(events.join(QLatin1Char('\n')).toUtf8() + '\n');
    sandbox.closeWriteChannel();
    if (!sandbox.waitForFinished(110000) || sandbox.exitStatus() != QProcess::NormalExit ||
        sandbox.exitCode() != 0) {
        sandboxError_ = QStringLiteral("the udevadm sandbox failed (exit %1): %2")
                            .arg(sandbox.exitCode())
                            .arg(QString::fromUtf8(sandbox.readAll()).right(2000));
        return;
    }
    const QStringList lines = QString::fromUtf8(sandbox.readAll()).split(QLatin1Char('\n'));
    QString key;
    QStringList item;
    const auto keep = [&] {
        if (!key.isEmpty())
            outcomes_.insert(key, parseOutcome(key.section(' ', 0, 0), key.section(' ', 1), item));
    };
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("### event "))) {
            keep();
            key = line.mid(10);
            item.clear();
        } else {
            item << line;
        }
    }
    keep();
}

Outcome UdevRulesTest::outcome(const QString &action, const QString &path)
{
    return outcomes_.value(action + QLatin1Char(' ') + path);
}

#define NEED_UDEVADM()                                                                             \
    if (geteuid() != 0)                                                                            \
        QSKIP("udevadm test runs as root only, in a mount namespace of its own (CI runs as "       \
              "root)");                                                                            \
    QVERIFY2(sandboxError_.isEmpty(), qPrintable(sandboxError_))

void UdevRulesTest::addressGivesItsNode_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("node");
    for (int i = 0; i < kProducts.size(); ++i) {
        const QString node = QStringLiteral("KALDORIUM_LPT_") + kProducts[i].toUpper();
        for (const char *action : {"add", "change"}) {
            QTest::addRow("%s %s", qPrintable(kProducts[i]), action)
                << ttyPath(kAddressPort + i) << action << node;
        }
    }
    QTest::newRow("two at once: c200")
        << "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0"
        << "add"
        << "KALDORIUM_LPT_C200";
    QTest::newRow("two at once: C100")
        << "/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/tty/ttyACM1"
        << "add"
        << "KALDORIUM_LPT_C100";
    // The rules read sysfs, not udev's earlier properties: the first run makes the node.
    QTest::newRow("without udev properties") << ttyPath(kWithoutUdevPort) << "add"
                                             << "KALDORIUM_LPT_C100";
}

void UdevRulesTest::addressGivesItsNode()
{
    NEED_UDEVADM();
    QFETCH(QString, path);
    QFETCH(QString, action);
    QFETCH(QString, node);
    EXPECT_OUTCOME(outcome(action, path), devicePort(node));
}

void UdevRulesTest::productTextGivesTheProgramsNode_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("node");
    for (int i = 0; i < kProductTexts.size(); ++i) {
        const QString &product = kProductTexts[i].first;
        QTest::addRow("\"%s\"%s", qPrintable(product), product.isNull() ? " (no attribute)" : "")
            << product << ttyPath(kProductPort + i) << kProductTexts[i].second;
    }
}

void UdevRulesTest::productTextGivesTheProgramsNode()
{
    NEED_UDEVADM();
    QFETCH(QString, product);
    QFETCH(QString, path);
    QFETCH(QString, node);
    // The node the program opens for this description is the node the rules make.
    QCOMPARE(discovery::node_for_text(product), node);
    // Still the device without a node of its own: access and ModemManager kept away.
    EXPECT_OUTCOME(outcome(QStringLiteral("add"), path), devicePort(node));
}

void UdevRulesTest::manufacturerMustMatchWhole_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isDevice");
    for (int i = 0; i < kManufacturers.size(); ++i) {
        const QString &text = kManufacturers[i].first;
        QTest::addRow("\"%s\"%s", qPrintable(text), text.isNull() ? " (no attribute)" : "")
            << ttyPath(kManufacturerPort + i) << kManufacturers[i].second;
    }
    QTest::newRow("\"holmcraft kaldorium-lpt v1\"")
        << "/devices/pci0000:00/0000:00:14.0/usb1/1-7/1-7:1.0/tty/ttyACM2" << false;
    QTest::newRow("\"Holmcraft KALDORIUM-LPT V2\"")
        << "/devices/pci0000:00/0000:00:14.0/usb1/1-8/1-8:1.0/tty/ttyACM3" << false;
}

void UdevRulesTest::manufacturerMustMatchWhole()
{
    NEED_UDEVADM();
    QFETCH(QString, path);
    QFETCH(bool, isDevice);
    EXPECT_OUTCOME(outcome(QStringLiteral("add"), path),
                   isDevice ? devicePort(QStringLiteral("KALDORIUM_LPT_C100")) : kNothing);
}

void UdevRulesTest::otherDevicesGetNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("action");
    const QString bus = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");
    QTest::newRow("C100 unplugged") << ttyPath(kAddressPort) << "remove";
    QTest::newRow("C100's USB device") << usbDevicePath(kAddressPort) << "add";
    QTest::newRow("C100's USB device, change") << usbDevicePath(kAddressPort) << "change";
    QTest::newRow("C100's interface") << usbDevicePath(kAddressPort) + "/1-11:1.0"
                                      << "add";
    QTest::newRow("another maker's CDC-ACM port") << bus + "/1-1/1-1:1.0/tty/ttyACM5"
                                                  << "add";
    QTest::newRow("FTDI cable") << bus + "/1-6/1-6:1.0/ttyUSB0/tty/ttyUSB0"
                                << "add";
    QTest::newRow("FTDI cable, its usb-serial port") << bus + "/1-6/1-6:1.0/ttyUSB0"
                                                     << "add";
    QTest::newRow("FTDI cable, its USB device") << bus + "/1-6"
                                                << "add";
    QTest::newRow("the root hub") << bus << "add";
}

void UdevRulesTest::otherDevicesGetNothing()
{
    NEED_UDEVADM();
    QFETCH(QString, path);
    QFETCH(QString, action);
    EXPECT_OUTCOME(outcome(action, path), kNothing);
}

void UdevRulesTest::bootloaderGetsAccess_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("access");
    const QString device = usbDevicePath(kBootloaderPort);
    QTest::newRow("add") << device << "add" << true;
    QTest::newRow("change") << device << "change" << true;
    QTest::newRow("remove") << device << "remove" << false;
    // dfu-util opens the USB device's node; its interface needs nothing.
    QTest::newRow("its interface") << device + "/1-9:1.0"
                                   << "add" << false;
}

void UdevRulesTest::bootloaderGetsAccess()
{
    NEED_UDEVADM();
    QFETCH(QString, path);
    QFETCH(QString, action);
    QFETCH(bool, access);
    QCOMPARE(QString::fromLatin1(contract::kDfuDeviceId), QStringLiteral("1209:db42"));
    // The logged-in user's access; the plugdev group where there is no login session.
    EXPECT_OUTCOME(outcome(action, path), access ? kBootloader : kNothing);
}

void UdevRulesTest::udevadmVerifyAcceptsTheFile()
{
    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(QStringLiteral("udevadm"), {"verify", QStringLiteral(KALDORIUM_UDEV_RULES)});
    QVERIFY2(verify.waitForFinished(30000), "udevadm verify did not end");
    const QString output = QString::fromUtf8(verify.readAll());
    if (output.contains(QLatin1String("Unknown command verb")))
        QSKIP("this release's udevadm has no verify (it came with systemd 253)");
    QVERIFY2(verify.exitCode() == 0, qPrintable(output));
}

void UdevRulesTest::fileNameSortsBeforeSeatLate()
{
    // TAG+="uaccess" only takes effect in rules read before 73-seat-late.rules, and udev
    // reads the files in the order of their names.
    const QString name = QFileInfo(QStringLiteral(KALDORIUM_UDEV_RULES)).fileName();
    QVERIFY2(name < QLatin1String("73-seat-late.rules"), qPrintable(name));
}

void UdevRulesTest::hostUntouched()
{
    NEED_UDEVADM();
    QVERIFY(ran_);
    QCOMPARE(hostState(), hostBefore_);
}

QTEST_GUILESS_MAIN(UdevRulesTest)
#include "tst_udev_rules.moc"
