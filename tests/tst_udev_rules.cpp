// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Checks packaging/60-kaldorium-lpt.rules with a deliberately small evaluator for the subset
// of udev rule syntax that the file uses. No udev, no sysfs: each case is a made-up device
// with its chain of parents, run through the rules as udev would run them, and the outcome
// (symlinks, tags, properties, group, mode) is compared with what the program needs: the
// device identity, the address keys and device nodes, and the bootloader's DFU id 1209:db42.
//
// The subset:
//   matches      ACTION, SUBSYSTEM, KERNEL, ATTR{..}, ENV{..}, TAG   on the event device
//                ATTRS{..}, SUBSYSTEMS, KERNELS                        on one device of the
//                                                                      parent chain, all of a
//                                                                      rule on the same one
//   operators    == and != ; patterns as fnmatch(3) without flags (* ? [..] [!..] \x) with
//                "|" between alternatives
//   assignments  SYMLINK+=/=/-=, TAG+=/=/-=, ENV{..}=, GROUP=, MODE=, OWNER= (and := for
//                the last four), GOTO=, LABEL=
// Anything else in the file (another key, a substitution, an escape) is reported as an error,
// so the evaluator can never silently ignore a part of the rules.
//
// The path of the rules file comes from the build: KALDORIUM_UDEV_RULES.

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtTest>

#include <iterator>
#include <utility>

#ifndef KALDORIUM_UDEV_RULES
#error "KALDORIUM_UDEV_RULES must name the rules file, e.g. .../packaging/60-kaldorium-lpt.rules"
#endif

#if __has_include("device_link/device_contract.h")
#include "device_link/device_contract.h"
#define KALDORIUM_HAVE_CONTRACT 1
#endif

namespace {

// ---------------------------------------------------------------------------------------------
// What the program expects, written out here on purpose: the rules must agree with it, and
// with the program's contract header where the build has it.

const QString kManufacturer = QStringLiteral("Holmcraft KALDORIUM-LPT V1");
const QStringList kAddressKeys = {"c100", "c200", "c300", "c400", "c500", "c600", "c700", "c800"};
const QString kDfuVendor = QStringLiteral("1209");
const QString kDfuProduct = QStringLiteral("db42");

// The node name (under /dev) that the program opens for a port description: the first key
// in table order contained in the text, letter case ignored; empty when none is.
QString programNode(const QString &description)
{
    for (const QString &key : kAddressKeys) {
        if (description.contains(key, Qt::CaseInsensitive))
            return QStringLiteral("KALDORIUM_LPT_") + key.toUpper();
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Devices

struct Device {
    QString subsystem;
    QString kernel;               // sysname
    QMap<QString, QString> attrs; // sysfs attributes; values as read, may end in "\n"
    QMap<QString, QString> props; // udev properties the kernel reports (DEVTYPE, MAJOR, ...)
};

struct Event {
    QString action = QStringLiteral("add");
    QVector<Device> chain; // [0] is the device of the event, then its parents upwards
};

struct Outcome {
    QStringList symlinks;
    QStringList tags;
    QMap<QString, QString> env; // properties set by the rules
    QString owner;
    QString group;
    QString mode;

    bool isEmpty() const
    {
        return symlinks.isEmpty() && tags.isEmpty() && env.isEmpty() && owner.isEmpty() &&
               group.isEmpty() && mode.isEmpty();
    }
    QString describe() const
    {
        QStringList envText;
        for (auto it = env.cbegin(); it != env.cend(); ++it)
            envText << it.key() + QLatin1Char('=') + it.value();
        return QStringLiteral("symlinks [%1] tags [%2] env [%3] owner '%4' group '%5' mode '%6'")
            .arg(symlinks.join(' '), tags.join(' '), envText.join(' '), owner, group, mode);
    }
};

// ---------------------------------------------------------------------------------------------
// Patterns: fnmatch(3) with flags 0, as udev uses it, plus "|" alternatives.

// Matches a bracket expression starting after '['; sets `end` to the index after ']'.
// Returns false in `valid` when the bracket is not closed (then '[' is an ordinary char).
bool matchBracket(const QString &p, int start, QChar c, int &end, bool &valid)
{
    int i = start;
    bool negate = false;
    if (i < p.size() && (p[i] == '!' || p[i] == '^')) {
        negate = true;
        ++i;
    }
    bool matched = false;
    bool first = true;
    while (i < p.size() && (first || p[i] != ']')) {
        first = false;
        QChar lo = p[i];
        if (lo == '\\' && i + 1 < p.size())
            lo = p[++i];
        ++i;
        if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
            QChar hi = p[i + 1];
            if (hi == '\\' && i + 2 < p.size()) {
                hi = p[i + 2];
                ++i;
            }
            i += 2;
            if (lo <= c && c <= hi)
                matched = true;
        } else if (lo == c) {
            matched = true;
        }
    }
    if (i >= p.size()) {
        valid = false;
        return false;
    }
    valid = true;
    end = i + 1;
    return matched != negate;
}

bool fnmatch(const QString &p, int pi, const QString &s, int si)
{
    while (pi < p.size()) {
        const QChar pc = p[pi];
        if (pc == '*') {
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            if (pi == p.size())
                return true;
            for (int k = si; k <= s.size(); ++k) {
                if (fnmatch(p, pi, s, k))
                    return true;
            }
            return false;
        }
        if (si >= s.size())
            return false;
        if (pc == '?') {
            ++pi;
            ++si;
            continue;
        }
        if (pc == '[') {
            int end = 0;
            bool valid = false;
            const bool m = matchBracket(p, pi + 1, s[si], end, valid);
            if (valid) {
                if (!m)
                    return false;
                pi = end;
                ++si;
                continue;
            }
            // an unclosed '[' is an ordinary character
        }
        QChar literal = pc;
        if (pc == '\\' && pi + 1 < p.size())
            literal = p[++pi];
        if (literal != s[si])
            return false;
        ++pi;
        ++si;
    }
    return si == s.size();
}

bool fnmatch(const QString &pattern, const QString &s)
{
    return fnmatch(pattern, 0, s, 0);
}

bool matchAlternatives(const QString &pattern, const QString &value)
{
    const QStringList alternatives = pattern.split(QLatin1Char('|'));
    for (const QString &alt : alternatives) {
        if (fnmatch(alt, value))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Rules

enum class Op { Match, NoMatch, Assign, AssignFinal, Add, Remove };

struct Token {
    QString key;  // ACTION, ATTRS, SYMLINK, ...
    QString attr; // the name in braces, if any
    Op op = Op::Match;
    QString value;
};

struct Rule {
    int line = 0;
    QVector<Token> tokens;
    QString label; // set for a LABEL rule
    QString gotoLabel;
    int gotoIndex = -1;
};

struct RuleSet {
    QVector<Rule> rules;
    QStringList errors;
};

const QSet<QString> kDeviceMatchKeys = {"ACTION", "SUBSYSTEM", "KERNEL"};
const QSet<QString> kParentMatchKeys = {"SUBSYSTEMS", "KERNELS"};

bool isMatchOp(Op op)
{
    return op == Op::Match || op == Op::NoMatch;
}

QString checkToken(const Token &t)
{
    const bool match = isMatchOp(t.op);
    const bool hasAttr = !t.attr.isNull();
    if (kDeviceMatchKeys.contains(t.key) || kParentMatchKeys.contains(t.key)) {
        if (hasAttr || !match)
            return QStringLiteral("%1 takes no {attribute} and only == or !=").arg(t.key);
        return QString();
    }
    if (t.key == "ATTR" || t.key == "ATTRS") {
        if (!hasAttr || t.attr.isEmpty() || !match)
            return QStringLiteral("%1 needs {attribute} and == or !=").arg(t.key);
        return QString();
    }
    if (t.key == "ENV") {
        if (!hasAttr || t.attr.isEmpty())
            return QStringLiteral("ENV needs {name}");
        if (!match && t.op != Op::Assign)
            return QStringLiteral("ENV{..} supports ==, != and = only");
        return QString();
    }
    if (hasAttr)
        return QStringLiteral("%1 takes no {attribute}").arg(t.key);
    if (t.key == "TAG") {
        if (t.op == Op::AssignFinal)
            return QStringLiteral("TAG does not take :=");
        return QString();
    }
    if (t.key == "SYMLINK") {
        if (match || t.op == Op::AssignFinal)
            return QStringLiteral("SYMLINK supports +=, = and -= only");
        static const QRegularExpression names(QStringLiteral("^[0-9A-Za-z#+\\-.:=@_/ ]*$"));
        if (!names.match(t.value).hasMatch())
            return QStringLiteral("SYMLINK \"%1\" holds characters udev would replace")
                .arg(t.value);
        return QString();
    }
    if (t.key == "GROUP" || t.key == "OWNER" || t.key == "MODE") {
        if (t.op != Op::Assign && t.op != Op::AssignFinal)
            return QStringLiteral("%1 supports = and := only").arg(t.key);
        if (t.key == "MODE" &&
            !QRegularExpression(QStringLiteral("^0?[0-7]{3}$")).match(t.value).hasMatch())
            return QStringLiteral("MODE \"%1\" is not an octal mode").arg(t.value);
        return QString();
    }
    if (t.key == "GOTO" || t.key == "LABEL") {
        if (t.op != Op::Assign || t.value.isEmpty())
            return QStringLiteral("%1 needs =\"name\"").arg(t.key);
        return QString();
    }
    return QStringLiteral("key %1 is outside the evaluator's subset").arg(t.key);
}

RuleSet parseRules(const QString &text)
{
    RuleSet set;
    const QStringList rawLines = text.split(QLatin1Char('\n'));
    QString pending;
    int pendingLine = 0;
    for (int n = 0; n < rawLines.size(); ++n) {
        QString line = rawLines[n];
        if (pending.isEmpty())
            pendingLine = n + 1;
        if (line.endsWith(QLatin1Char('\\'))) {
            pending += line.left(line.size() - 1);
            continue;
        }
        line = (pending + line).trimmed();
        pending.clear();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;

        Rule rule;
        rule.line = pendingLine;
        auto error = [&](const QString &what) {
            set.errors << QStringLiteral("line %1: %2").arg(rule.line).arg(what);
        };
        int i = 0;
        bool ok = true;
        while (ok && i < line.size()) {
            while (i < line.size() && (line[i].isSpace() || line[i] == ','))
                ++i;
            if (i >= line.size())
                break;
            Token t;
            const int keyStart = i;
            while (i < line.size() && (line[i].isUpper() || line[i] == '_'))
                ++i;
            t.key = line.mid(keyStart, i - keyStart);
            if (t.key.isEmpty()) {
                error(QStringLiteral("expected a key at column %1").arg(i + 1));
                ok = false;
                break;
            }
            if (i < line.size() && line[i] == '{') {
                const int close = line.indexOf(QLatin1Char('}'), i);
                if (close < 0) {
                    error(QStringLiteral("unclosed { after %1").arg(t.key));
                    ok = false;
                    break;
                }
                t.attr = line.mid(i + 1, close - i - 1);
                if (t.attr.isNull())
                    t.attr = QStringLiteral("");
                i = close + 1;
            }
            while (i < line.size() && line[i].isSpace())
                ++i;
            static const QVector<std::pair<QString, Op>> ops = {
                {"==", Op::Match},  {"!=", Op::NoMatch},     {"+=", Op::Add},
                {"-=", Op::Remove}, {":=", Op::AssignFinal}, {"=", Op::Assign}};
            bool found = false;
            for (const auto &op : ops) {
                if (line.mid(i, op.first.size()) == op.first) {
                    t.op = op.second;
                    i += op.first.size();
                    found = true;
                    break;
                }
            }
            if (!found) {
                error(QStringLiteral("expected an operator after %1").arg(t.key));
                ok = false;
                break;
            }
            while (i < line.size() && line[i].isSpace())
                ++i;
            if (i >= line.size() || line[i] != '"') {
                error(QStringLiteral("expected a quoted value for %1").arg(t.key));
                ok = false;
                break;
            }
            const int close = line.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) {
                error(QStringLiteral("unclosed quote for %1").arg(t.key));
                ok = false;
                break;
            }
            t.value = line.mid(i + 1, close - i - 1);
            i = close + 1;
            if (t.value.contains(QLatin1Char('\\')))
                error(QStringLiteral("%1: escapes are outside the subset").arg(t.key));
            if (!isMatchOp(t.op) &&
                (t.value.contains(QLatin1Char('$')) || t.value.contains(QLatin1Char('%'))))
                error(QStringLiteral("%1: substitutions are outside the subset").arg(t.key));
            const QString problem = checkToken(t);
            if (!problem.isEmpty())
                error(problem);
            while (i < line.size() && line[i].isSpace())
                ++i;
            if (i < line.size() && line[i] != ',') {
                error(QStringLiteral("expected a comma after %1").arg(t.key));
                ok = false;
                break;
            }
            if (t.key == "LABEL")
                rule.label = t.value;
            else if (t.key == "GOTO")
                rule.gotoLabel = t.value;
            rule.tokens << t;
        }
        if (!rule.label.isNull() && rule.tokens.size() != 1)
            error(QStringLiteral("LABEL must stand alone"));
        set.rules << rule;
    }
    // udev only jumps forward, to the first LABEL of that name after the GOTO.
    for (int r = 0; r < set.rules.size(); ++r) {
        Rule &rule = set.rules[r];
        if (rule.gotoLabel.isNull())
            continue;
        for (int k = r + 1; k < set.rules.size(); ++k) {
            if (set.rules[k].label == rule.gotoLabel) {
                rule.gotoIndex = k;
                break;
            }
        }
        if (rule.gotoIndex < 0)
            set.errors << QStringLiteral("line %1: GOTO \"%2\" has no LABEL after it")
                              .arg(rule.line)
                              .arg(rule.gotoLabel);
    }
    return set;
}

bool tokenMatches(const Token &t, const QString *value)
{
    const bool m = matchAlternatives(t.value, value ? *value : QString());
    return t.op == Op::Match ? m : !m;
}

// An attribute match: a missing attribute matches neither == nor !=; trailing white space of
// the value is ignored unless the pattern itself ends in white space.
bool attrMatches(const Token &t, const Device &d)
{
    if (!d.attrs.contains(t.attr))
        return false;
    QString v = d.attrs.value(t.attr);
    if (t.value.isEmpty() || !t.value.back().isSpace()) {
        while (!v.isEmpty() && v.back().isSpace())
            v.chop(1);
    }
    return tokenMatches(t, &v);
}

bool parentTokenMatches(const Token &t, const Device &d)
{
    if (t.key == "ATTRS")
        return attrMatches(t, d);
    if (t.key == "SUBSYSTEMS")
        return tokenMatches(t, &d.subsystem);
    return tokenMatches(t, &d.kernel); // KERNELS
}

Outcome evaluate(const RuleSet &set, const Event &event)
{
    Outcome out;
    QSet<QString> final;
    const Device &dev = event.chain.first();
    int r = 0;
    while (r < set.rules.size()) {
        const Rule &rule = set.rules[r];
        if (!rule.label.isNull()) {
            ++r;
            continue;
        }
        bool matched = true;
        QVector<Token> parentTokens;
        for (const Token &t : rule.tokens) {
            if (!isMatchOp(t.op))
                continue;
            if (t.key == "ACTION") {
                matched = tokenMatches(t, &event.action);
            } else if (t.key == "SUBSYSTEM") {
                matched = tokenMatches(t, &dev.subsystem);
            } else if (t.key == "KERNEL") {
                matched = tokenMatches(t, &dev.kernel);
            } else if (t.key == "ATTR") {
                matched = attrMatches(t, dev);
            } else if (t.key == "ENV") {
                const QString v =
                    out.env.contains(t.attr) ? out.env.value(t.attr) : dev.props.value(t.attr);
                matched = tokenMatches(t, &v);
            } else if (t.key == "TAG") {
                bool any = false;
                for (const QString &tag : std::as_const(out.tags))
                    any = any || fnmatch(t.value, tag);
                matched = t.op == Op::Match ? any : !any;
            } else {
                parentTokens << t; // ATTRS, SUBSYSTEMS, KERNELS
            }
            if (!matched)
                break;
        }
        if (matched && !parentTokens.isEmpty()) {
            bool onOneDevice = false;
            for (const Device &d : event.chain) {
                bool all = true;
                for (const Token &t : std::as_const(parentTokens))
                    all = all && parentTokenMatches(t, d);
                if (all) {
                    onOneDevice = true;
                    break;
                }
            }
            matched = onOneDevice;
        }
        if (!matched) {
            ++r;
            continue;
        }
        for (const Token &t : rule.tokens) {
            if (isMatchOp(t.op))
                continue;
            const QString finalKey = t.key + t.attr;
            if (final.contains(finalKey))
                continue;
            if (t.op == Op::AssignFinal)
                final.insert(finalKey);
            if (t.key == "SYMLINK" || t.key == "TAG") {
                QStringList &list = t.key == "SYMLINK" ? out.symlinks : out.tags;
                const QStringList names = t.value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (t.op == Op::Assign)
                    list.clear();
                for (const QString &name : names) {
                    if (t.op == Op::Remove)
                        list.removeAll(name);
                    else if (!list.contains(name))
                        list << name;
                }
            } else if (t.key == "ENV") {
                if (t.value.isEmpty())
                    out.env.remove(t.attr);
                else
                    out.env.insert(t.attr, t.value);
            } else if (t.key == "GROUP") {
                out.group = t.value;
            } else if (t.key == "OWNER") {
                out.owner = t.value;
            } else if (t.key == "MODE") {
                out.mode = t.value;
            }
        }
        r = rule.gotoIndex >= 0 ? rule.gotoIndex : r + 1;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Made-up devices shaped like the kernel's: sysfs values end in a newline.

Device pciController()
{
    return Device{"pci", "0000:00:14.0", {{"vendor", "0x8086\n"}, {"device", "0xa36d\n"}}, {}};
}

Device rootHub()
{
    return Device{"usb",
                  "usb1",
                  {{"idVendor", "1d6b\n"},
                   {"idProduct", "0002\n"},
                   {"manufacturer", "Linux 6.1.0-28-amd64 xhci-hcd\n"},
                   {"product", "xHCI Host Controller\n"}},
                  {{"DEVTYPE", "usb_device"}}};
}

// A USB device; a null manufacturer or product means the device has no such string.
Device usbDevice(const QString &vendor, const QString &product, const QString &manufacturerText,
                 const QString &productText)
{
    Device d{"usb",
             "1-2",
             {{"idVendor", vendor + "\n"}, {"idProduct", product + "\n"}, {"busnum", "1\n"}},
             {{"DEVTYPE", "usb_device"}, {"MAJOR", "189"}, {"MINOR", "1"}}};
    if (!manufacturerText.isNull())
        d.attrs.insert("manufacturer", manufacturerText + "\n");
    if (!productText.isNull())
        d.attrs.insert("product", productText + "\n");
    return d;
}

Device usbInterface()
{
    return Device{"usb",
                  "1-2:1.0",
                  {{"bInterfaceClass", "02\n"}, {"bInterfaceNumber", "00\n"}},
                  {{"DEVTYPE", "usb_interface"}}};
}

// The KALDORIUM-LPT in normal operation. The program does not rely on its own USB ids;
// any ids other than the bootloader's do.
const QString kNormalVendor = QStringLiteral("1209");
const QString kNormalProduct = QStringLiteral("db41");

Event ttyEvent(const QString &manufacturerText, const QString &productText,
               const QString &kernel = QStringLiteral("ttyACM0"),
               const QString &action = QStringLiteral("add"))
{
    Event e;
    e.action = action;
    e.chain << Device{"tty", kernel, {{"dev", "166:0\n"}}, {{"MAJOR", "166"}, {"MINOR", "0"}}}
            << usbInterface()
            << usbDevice(kNormalVendor, kNormalProduct, manufacturerText, productText) << rootHub()
            << pciController();
    return e;
}

Event usbDeviceEvent(const QString &vendor, const QString &product,
                     const QString &manufacturerText = QString(),
                     const QString &productText = QString(),
                     const QString &action = QStringLiteral("add"))
{
    Event e;
    e.action = action;
    e.chain << usbDevice(vendor, product, manufacturerText, productText) << rootHub()
            << pciController();
    return e;
}

Event usbInterfaceEvent(const QString &vendor, const QString &product,
                        const QString &manufacturerText = QString(),
                        const QString &productText = QString())
{
    Event e;
    e.chain << usbInterface() << usbDevice(vendor, product, manufacturerText, productText)
            << rootHub() << pciController();
    return e;
}

} // namespace

Q_DECLARE_METATYPE(Event)

class TestUdevRules : public QObject {
    Q_OBJECT

private:
    RuleSet rules_;

    void expectDevicePort(const Outcome &o, const QString &node)
    {
        if (node.isEmpty())
            QVERIFY2(o.symlinks.isEmpty(), qPrintable(o.describe()));
        else
            QVERIFY2(o.symlinks == QStringList{node}, qPrintable(o.describe()));
        QVERIFY2(o.tags == QStringList{"uaccess"}, qPrintable(o.describe()));
        QVERIFY2(o.env.value("ID_MM_DEVICE_IGNORE") == "1", qPrintable(o.describe()));
        QCOMPARE(o.env.size(), 1);
        QCOMPARE(o.group, QStringLiteral("dialout"));
        QCOMPARE(o.mode, QStringLiteral("0660"));
        QVERIFY(o.owner.isEmpty());
    }

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(KALDORIUM_UDEV_RULES));
        QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text),
                 qPrintable(QStringLiteral("cannot read ") + file.fileName()));
        rules_ = parseRules(QString::fromUtf8(file.readAll()));
        QVERIFY2(rules_.errors.isEmpty(), qPrintable(rules_.errors.join('\n')));
        QVERIFY(!rules_.rules.isEmpty());
    }

    // ---- the evaluator itself ----------------------------------------------------------

    void fnmatchSubset_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact") << "tty"
                               << "tty" << true;
        QTest::newRow("exact, case") << "tty"
                                     << "TTY" << false;
        QTest::newRow("star inside") << "*[cC]300*"
                                     << "xx c300 yy" << true;
        QTest::newRow("star empty") << "*[cC]300*"
                                    << "C300" << true;
        QTest::newRow("star no key") << "*[cC]300*"
                                     << "C30" << false;
        QTest::newRow("star slash") << "a*b"
                                    << "a/x/b" << true;
        QTest::newRow("question") << "tty?CM0"
                                  << "ttyACM0" << true;
        QTest::newRow("question needs one") << "ab?"
                                            << "ab" << false;
        QTest::newRow("bracket range") << "[0-9]x"
                                       << "7x" << true;
        QTest::newRow("bracket negated !") << "[!a]b"
                                           << "ab" << false;
        QTest::newRow("bracket negated ^") << "[^a]b"
                                           << "cb" << true;
        QTest::newRow("bracket ] first") << "[]a]"
                                         << "]" << true;
        QTest::newRow("unclosed bracket literal") << "a[b"
                                                  << "a[b" << true;
        QTest::newRow("escape") << "a\\*"
                                << "a*" << true;
        QTest::newRow("escape is literal") << "a\\*"
                                           << "ab" << false;
        QTest::newRow("alternatives") << "add|change"
                                      << "change" << true;
        QTest::newRow("alternatives none") << "add|change"
                                           << "remove" << false;
        QTest::newRow("empty matches empty") << ""
                                             << "" << true;
    }
    void fnmatchSubset()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, value);
        QFETCH(bool, matches);
        QCOMPARE(matchAlternatives(pattern, value), matches);
    }

    void evaluatorParentsMatchOnOneDevice()
    {
        const RuleSet set =
            parseRules("ATTRS{manufacturer}==\"M\", ATTRS{product}==\"P\", TAG+=\"same\"\n"
                       "ATTRS{manufacturer}!=\"M\", TAG+=\"other\"\n"
                       "ATTRS{nothere}!=\"x\", TAG+=\"missing\"\n");
        QVERIFY2(set.errors.isEmpty(), qPrintable(set.errors.join('\n')));
        Event split;
        split.chain << Device{"tty", "ttyACM0", {}, {}}
                    << Device{"usb", "1-2", {{"manufacturer", "M\n"}}, {}}
                    << Device{"usb", "usb1", {{"manufacturer", "X\n"}, {"product", "P\n"}}, {}};
        // M and P sit on different devices: no "same"; the hub's X satisfies "!=".
        QCOMPARE(evaluate(set, split).tags, QStringList{"other"});
        Event together = split;
        together.chain[1].attrs.insert("product", "P\n");
        QCOMPARE(evaluate(set, together).tags, (QStringList{"same", "other"}));
    }

    void evaluatorGotoAndAssignments()
    {
        const RuleSet set = parseRules("SUBSYSTEM!=\"tty\", GOTO=\"end\"\n"
                                       "ENV{A}=\"1\", GROUP:=\"g1\", SYMLINK+=\"x y\"\n"
                                       "GROUP=\"g2\", SYMLINK-=\"x\", MODE=\"0600\"\n"
                                       "ENV{A}==\"1\", TAG+=\"t\"\n"
                                       "LABEL=\"end\"\n");
        QVERIFY2(set.errors.isEmpty(), qPrintable(set.errors.join('\n')));
        Event tty;
        tty.chain << Device{"tty", "ttyS0", {}, {}};
        const Outcome o = evaluate(set, tty);
        QCOMPARE(o.group, QStringLiteral("g1"));
        QCOMPARE(o.symlinks, QStringList{"y"});
        QCOMPARE(o.tags, QStringList{"t"});
        QCOMPARE(o.mode, QStringLiteral("0600"));
        Event net;
        net.chain << Device{"net", "eth0", {}, {}};
        QVERIFY(evaluate(set, net).isEmpty());
    }

    void evaluatorRejectsUnknownSyntax_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown key") << "DRIVER==\"x\", TAG+=\"t\"";
        QTest::newRow("substitution") << "SYMLINK+=\"%k\"";
        QTest::newRow("missing label") << "GOTO=\"nowhere\"";
        QTest::newRow("label before goto") << "LABEL=\"a\"\nGOTO=\"a\"";
        QTest::newRow("no comma") << "SUBSYSTEM==\"tty\" TAG+=\"t\"";
        QTest::newRow("bad mode") << "MODE=\"rw\"";
        QTest::newRow("ATTRS assignment") << "ATTRS{x}=\"1\"";
    }
    void evaluatorRejectsUnknownSyntax()
    {
        QFETCH(QString, text);
        QVERIFY(!parseRules(text).errors.isEmpty());
    }

    // ---- the file ----------------------------------------------------------------------

    void fileNameSortsBeforeSeatLate()
    {
        // TAG+="uaccess" only takes effect in rules read before 73-seat-late.rules.
        const QString name = QFileInfo(QStringLiteral(KALDORIUM_UDEV_RULES)).fileName();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d\\d)-[a-z0-9-]+\\.rules$")).match(name);
        QVERIFY2(m.hasMatch(), qPrintable(name));
        QVERIFY2(m.captured(1).toInt() < 73, qPrintable(name));
    }

    void agreesWithProgramContract()
    {
#ifdef KALDORIUM_HAVE_CONTRACT
        QCOMPARE(QString::fromLatin1(contract::kManufacturer), kManufacturer);
        QCOMPARE(int(std::size(contract::kAddressKeys)), kAddressKeys.size());
        for (int i = 0; i < kAddressKeys.size(); ++i) {
            QCOMPARE(QString::fromLatin1(contract::kAddressKeys[i].key), kAddressKeys[i]);
            QCOMPARE(QString::fromLatin1(contract::kAddressKeys[i].node),
                     programNode(kAddressKeys[i]));
        }
        QCOMPARE(QString::fromLatin1(contract::kDfuDeviceId), kDfuVendor + ':' + kDfuProduct);
#else
        QSKIP("device_link/device_contract.h is not on this test's include path");
#endif
    }

    // ---- the device's serial port ------------------------------------------------------

    void addressGivesNode_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("node");
        for (const QString &key : kAddressKeys) {
            const QString node = QStringLiteral("KALDORIUM_LPT_") + key.toUpper();
            QTest::addRow("%s", qPrintable(key.toUpper()))
                << key.toUpper() << QStringLiteral("ttyACM0") << node;
            QTest::addRow("%s", qPrintable(key)) << key << QStringLiteral("ttyACM0") << node;
            QTest::addRow("%s ttyUSB", qPrintable(key)) << key << QStringLiteral("ttyUSB3") << node;
        }
    }
    void addressGivesNode()
    {
        QFETCH(QString, product);
        QFETCH(QString, kernel);
        QFETCH(QString, node);
        QCOMPARE(programNode(product), node); // the program opens this node
        expectDevicePort(evaluate(rules_, ttyEvent(kManufacturer, product, kernel)), node);
    }

    void sameNodeAsProgram_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("node"); // empty: the program opens no node of its own
        QTest::newRow("text around") << "KALDORIUM-LPT c500 port"
                                     << "KALDORIUM_LPT_C500";
        QTest::newRow("0x prefix") << "0xC300"
                                   << "KALDORIUM_LPT_C300";
        QTest::newRow("two keys, table order") << "c200 c100"
                                               << "KALDORIUM_LPT_C100";
        QTest::newRow("two keys, run together") << "C800C700"
                                                << "KALDORIUM_LPT_C700";
        QTest::newRow("C1000 holds c100") << "C1000"
                                          << "KALDORIUM_LPT_C100";
        QTest::newRow("letter O for zero") << "C2O0"
                                           << "";
        QTest::newRow("no key") << "C900"
                                << "";
        QTest::newRow("address without c") << "100"
                                           << "";
        QTest::newRow("empty product") << ""
                                       << "";
        QTest::newRow("no product string") << QString() << "";
    }
    void sameNodeAsProgram()
    {
        QFETCH(QString, product);
        QFETCH(QString, node);
        QCOMPARE(programNode(product), node);
        // Still the device: access and ModemManager exclusion, but a node only with a key.
        expectDevicePort(evaluate(rules_, ttyEvent(kManufacturer, product)), node);
    }

    void otherManufacturerGivesNothing_data()
    {
        QTest::addColumn<QString>("manufacturer");
        QTest::newRow("other text") << "FTDI";
        QTest::newRow("lower case") << "holmcraft kaldorium-lpt v1";
        QTest::newRow("upper case") << "HOLMCRAFT KALDORIUM-LPT V1";
        QTest::newRow("one letter") << "Holmcraft KALDORIUM-LPT v1";
        QTest::newRow("other version") << "Holmcraft KALDORIUM-LPT V2";
        QTest::newRow("extra text after") << "Holmcraft KALDORIUM-LPT V1 rev B";
        QTest::newRow("extra char after") << "Holmcraft KALDORIUM-LPT V10";
        QTest::newRow("extra text before") << "The Holmcraft KALDORIUM-LPT V1";
        QTest::newRow("shorter") << "Holmcraft KALDORIUM-LPT";
        QTest::newRow("maker only") << "Holmcraft";
        QTest::newRow("underscores") << "Holmcraft_KALDORIUM-LPT_V1";
        QTest::newRow("empty") << "";
        QTest::newRow("no manufacturer string") << QString();
    }
    void otherManufacturerGivesNothing()
    {
        QFETCH(QString, manufacturer);
        for (const QString &product : {QStringLiteral("C300"), QStringLiteral("c100")}) {
            const Outcome o = evaluate(rules_, ttyEvent(manufacturer, product));
            QVERIFY2(o.isEmpty(), qPrintable(product + ": " + o.describe()));
        }
    }

    void otherSubsystemGivesNothing_data()
    {
        QTest::addColumn<Event>("event");
        QTest::newRow("usb device")
            << usbDeviceEvent(kNormalVendor, kNormalProduct, kManufacturer, "C300");
        QTest::newRow("usb interface")
            << usbInterfaceEvent(kNormalVendor, kNormalProduct, kManufacturer, "C300");
        Event hidraw = ttyEvent(kManufacturer, "C300");
        hidraw.chain[0] = Device{"hidraw", "hidraw0", {{"dev", "243:0\n"}}, {{"MAJOR", "243"}}};
        QTest::newRow("hidraw child") << hidraw;
        Event net = ttyEvent(kManufacturer, "C300");
        net.chain[0] = Device{"net", "usb0", {{"address", "02:00:00:00:00:01\n"}}, {}};
        QTest::newRow("net child") << net;
        Event usbSerial = ttyEvent(kManufacturer, "C300");
        usbSerial.chain[0] = Device{"usb-serial", "ttyUSB0", {}, {}};
        QTest::newRow("usb-serial port") << usbSerial;
    }
    void otherSubsystemGivesNothing()
    {
        QFETCH(Event, event);
        const Outcome o = evaluate(rules_, event);
        QVERIFY2(o.isEmpty(), qPrintable(o.describe()));
    }

    void removeGivesNothing()
    {
        const Outcome o = evaluate(rules_, ttyEvent(kManufacturer, "C300", "ttyACM0", "remove"));
        QVERIFY2(o.isEmpty(), qPrintable(o.describe()));
    }

    void changeKeepsNode()
    {
        // "udevadm trigger" sends change events; they must give the same outcome as add.
        expectDevicePort(evaluate(rules_, ttyEvent(kManufacturer, "c400", "ttyACM1", "change")),
                         QStringLiteral("KALDORIUM_LPT_C400"));
    }

    // ---- the bootloader ----------------------------------------------------------------

    void dfuBootloaderGetsAccess_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("manufacturer");
        QTest::newRow("add") << "add" << QString();
        QTest::newRow("change") << "change" << QString();
        QTest::newRow("add, with strings") << "add" << kManufacturer;
    }
    void dfuBootloaderGetsAccess()
    {
        QFETCH(QString, action);
        QFETCH(QString, manufacturer);
        const Outcome o =
            evaluate(rules_, usbDeviceEvent(kDfuVendor, kDfuProduct, manufacturer, "C100", action));
        QVERIFY2(o.tags == QStringList{"uaccess"}, qPrintable(o.describe()));
        QVERIFY2(o.symlinks.isEmpty(), qPrintable(o.describe()));
        QVERIFY2(o.env.isEmpty(), qPrintable(o.describe()));
        // Fallback for sessions without logind: the plugdev group, the node still readable.
        QCOMPARE(o.group, QStringLiteral("plugdev"));
        QCOMPARE(o.mode, QStringLiteral("0664"));
    }

    void otherUsbDeviceGetsNothing_data()
    {
        QTest::addColumn<Event>("event");
        QTest::newRow("1209:db43") << usbDeviceEvent("1209", "db43");
        QTest::newRow("1209:db41") << usbDeviceEvent("1209", "db41");
        QTest::newRow("1209:0001") << usbDeviceEvent("1209", "0001");
        QTest::newRow("db42:1209") << usbDeviceEvent("db42", "1209");
        QTest::newRow("0483:df11 (another DFU)") << usbDeviceEvent("0483", "df11");
        QTest::newRow("1d6b:0002 (hub)") << usbDeviceEvent("1d6b", "0002");
        QTest::newRow("1209:db42 remove")
            << usbDeviceEvent(kDfuVendor, kDfuProduct, QString(), QString(), "remove");
        // dfu-util opens the device node; the interfaces below it need nothing.
        QTest::newRow("1209:db42 interface") << usbInterfaceEvent(kDfuVendor, kDfuProduct);
        Event ttyOfDfu = ttyEvent(QString(), QString());
        ttyOfDfu.chain[2] = usbDevice(kDfuVendor, kDfuProduct, QString(), QString());
        QTest::newRow("tty below 1209:db42") << ttyOfDfu;
    }
    void otherUsbDeviceGetsNothing()
    {
        QFETCH(Event, event);
        const Outcome o = evaluate(rules_, event);
        QVERIFY2(o.isEmpty(), qPrintable(o.describe()));
    }
};

QTEST_GUILESS_MAIN(TestUdevRules)
#include "tst_udev_rules.moc"
