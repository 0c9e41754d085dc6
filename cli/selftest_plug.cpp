// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "selftest_plug.h"

#include "exit_codes.h"
#include "output.h"
#include "raw_text.h"

#include "device_link/db25_pins.h"
#include "device_link/loopback_plugs.h"

#include <QFile>
#include <QStringList>
#include <QVector>

namespace selftest {

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kMaxLineBytes = 1024;

bool is_output(int pin)
{
    const db25::Port port = db25::pin(pin).port;
    return port == db25::Port::Data || port == db25::Port::Control;
}

QString built_in_names()
{
    QStringList names;
    for (const loopback::Plug *plug : loopback::kTestPlugs)
        names << QString::fromLatin1(plug->name);
    return names.join(QStringLiteral(", "));
}

// What is wrong with a net's pins, or an empty string.
QString net_problem(const QList<int> &pins)
{
    QList<int> data;
    QList<int> control;
    for (int pin : pins) {
        if (db25::pin(pin).port == db25::Port::Data)
            data << pin;
        else if (db25::pin(pin).port == db25::Port::Control)
            control << pin;
    }
    for (const QList<int> &port : {data, control}) {
        if (port.size() > 1) {
            return QStringLiteral("pins %1 and %2 are both %3 pins, which are outputs together; a "
                                  "net holds at most one data and one control pin")
                .arg(pin_text(port[0]).mid(4), pin_text(port[1]).mid(4),
                     port == data ? QStringLiteral("data") : QStringLiteral("control"));
        }
    }
    if (data.isEmpty() && control.isEmpty()) {
        QStringList names;
        for (int pin : pins)
            names << pin_text(pin).mid(4);
        return QStringLiteral("a net with no output: %1 %2 only read; add the data or control "
                              "pin that drives %3")
            .arg(pins.size() > 1 ? QStringLiteral("pins") : QStringLiteral("pin"),
                 names.join(QStringLiteral(", ")),
                 pins.size() > 1 ? QStringLiteral("them") : QStringLiteral("it"));
    }
    if (pins.size() < 2) {
        return QStringLiteral("a net with no input: %1 needs a pin to read it, e.g. %2-15")
            .arg(pin_text(pins[0]))
            .arg(pins[0]);
    }
    return QString();
}

} // namespace

QString pin_text(int pin)
{
    return QStringLiteral("pin %1 (%2)").arg(pin).arg(QLatin1String(db25::pin(pin).name));
}

QString net_text(const Net &net)
{
    int first = -1;
    for (int i = 0; i < net.pins.size() && first < 0; ++i) {
        if (db25::pin(net.pins[i]).port == db25::Port::Data)
            first = i;
    }
    for (int i = 0; i < net.pins.size() && first < 0; ++i) {
        if (is_output(net.pins[i]))
            first = i;
    }
    QStringList others;
    for (int i = 0; i < net.pins.size(); ++i) {
        if (i != first)
            others << pin_text(net.pins[i]);
    }
    return pin_text(net.pins[first]) + QStringLiteral(" -> ") + others.join(QStringLiteral(", "));
}

bool parse_plug(const QByteArray &text, const QString &where, Plug *plug, QString *problem)
{
    QList<Net> nets;
    QVector<int> line_of_pin(db25::kPinCount + 1, 0);
    const QList<QByteArray> lines = text.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int number = index + 1;
        const auto fail = [&](const QString &what) {
            *problem = QStringLiteral("%1:%2: %3").arg(where).arg(number).arg(what);
            return false;
        };
        QByteArray line = lines[index];
        if (line.size() > kMaxLineBytes)
            return fail(QStringLiteral("the line is longer than 1 KiB; a net is a few pin "
                                       "numbers, e.g. 2-15"));
        if (line.contains('#'))
            line.truncate(line.indexOf('#'));
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        Net net;
        for (const QByteArray &field : line.split('-')) {
            const QByteArray token = field.trimmed();
            bool number_ok = !token.isEmpty() && token.size() <= 3;
            for (const char c : token)
                number_ok = number_ok && c >= '0' && c <= '9';
            if (!number_ok) {
                return fail(QStringLiteral("%1 is no pin number; write a net as DB-25 pin "
                                           "numbers joined by -, e.g. 2-15")
                                .arg(raw_text::quoted(raw_text::decode(token))));
            }
            const int pin = token.toInt();
            if (!db25::is_pin(pin))
                return fail(
                    QStringLiteral("pin %1 is not on a DB-25 connector (pins 1 to 25)").arg(pin));
            if (db25::pin(pin).port == db25::Port::Ground)
                return fail(QStringLiteral("pin %1 is a ground pin; a net joins signal pins 1 "
                                           "to 17")
                                .arg(pin));
            if (line_of_pin[pin] == number)
                return fail(QStringLiteral("%1 is on this net twice").arg(pin_text(pin)));
            if (line_of_pin[pin])
                return fail(QStringLiteral("%1 is on the net of line %2 already; a pin belongs "
                                           "to one net")
                                .arg(pin_text(pin))
                                .arg(line_of_pin[pin]));
            line_of_pin[pin] = number;
            net.pins << pin;
        }
        const QString wrong = net_problem(net.pins);
        if (!wrong.isEmpty())
            return fail(wrong);
        nets << net;
    }
    if (nets.isEmpty()) {
        *problem = QStringLiteral("%1: no nets; write one a line, e.g. 2-15").arg(where);
        return false;
    }
    plug->name = where;
    plug->nets = nets;
    return true;
}

int load_plug(const QString &argument, Plug *plug)
{
    for (const loopback::Plug *built_in : loopback::kTestPlugs) {
        if (argument == QLatin1String(built_in->name)) {
            plug->name = argument;
            plug->nets.clear();
            for (int n = 0; n < built_in->count; ++n) {
                const loopback::Net &net = built_in->nets[size_t(n)];
                plug->nets << Net{QList<int>(net.pins.begin(), net.pins.begin() + net.count)};
            }
            return 0;
        }
    }
    const QString shown = raw_text::printable(argument);
    QFile file(QFile::decodeName(raw_text::encode(argument)));
    if (!file.open(QIODevice::ReadOnly)) {
        return output::fail(exit_code::kNoInput,
                            QStringLiteral("cannot read the plug file %1: %2; give a file, or a "
                                           "built-in plug: %3")
                                .arg(shown, file.errorString(), built_in_names()));
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return output::fail(
            exit_code::kNoInput,
            QStringLiteral("cannot read the plug file %1: %2").arg(shown, file.errorString()));
    }
    if (text.size() > kMaxFileBytes) {
        return output::fail(exit_code::kDataError,
                            QStringLiteral("%1: larger than 64 KiB; a plug file holds a net a "
                                           "line, e.g. 2-15")
                                .arg(shown));
    }
    QString problem;
    if (!parse_plug(text, shown, plug, &problem))
        return output::fail(exit_code::kDataError, problem);
    plug->name = argument;
    return 0;
}

QList<Phase> plan(const Plug &plug)
{
    const auto pin_of = [](const Net &net, db25::Port port) {
        for (int pin : net.pins) {
            if (db25::pin(pin).port == port)
                return pin;
        }
        return 0;
    };
    bool both_on_a_net = false;
    for (const Net &net : plug.nets)
        both_on_a_net =
            both_on_a_net || (pin_of(net, db25::Port::Data) && pin_of(net, db25::Port::Control));

    if (!both_on_a_net) {
        Phase phase;
        for (int n = 0; n < plug.nets.size(); ++n) {
            const int data = pin_of(plug.nets[n], db25::Port::Data);
            const int control = pin_of(plug.nets[n], db25::Port::Control);
            phase.dataOutput = phase.dataOutput || data;
            phase.controlOutput = phase.controlOutput || control;
            phase.nets << n;
            phase.drivers << (data ? data : control);
        }
        return {phase};
    }
    Phase from_data{true, false, {}, {}};
    Phase from_control{false, true, {}, {}};
    for (int n = 0; n < plug.nets.size(); ++n) {
        if (const int data = pin_of(plug.nets[n], db25::Port::Data)) {
            from_data.nets << n;
            from_data.drivers << data;
        }
        if (const int control = pin_of(plug.nets[n], db25::Port::Control)) {
            from_control.nets << n;
            from_control.drivers << control;
        }
    }
    QList<Phase> phases{from_data};
    if (!from_control.nets.isEmpty())
        phases << from_control;
    return phases;
}

} // namespace selftest
