// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "profile.h"

#include "numbers.h"
#include "raw_text.h"

#include <QStringList>

namespace profile {

QString format_value(const Item &item, uint32_t value);

namespace {

const QString kInput = QStringLiteral("input");
const QString kOutput = QStringLiteral("output");

QString key_list()
{
    QStringList keys;
    for (const Item &item : kItems)
        keys.append(QString::fromLatin1(item.key));
    return keys.join(QStringLiteral(", "));
}

int item_index(const QString &key)
{
    for (int index = 0; index < kItemCount; ++index) {
        if (key == QLatin1String(kItems[index].key))
            return index;
    }
    return -1;
}

bool parse_value(const Item &item, const QString &text, uint32_t *value, QString *problem)
{
    if (item.kind == Kind::Direction) {
        if (text == kInput || text == kOutput) {
            *value = text == kOutput ? 1 : 0;
            return true;
        }
        *problem =
            QStringLiteral("%1 is input or output, not %2").arg(item.key, raw_text::quoted(text));
        return false;
    }
    const std::optional<uint64_t> number = parse_number(text);
    if (!number) {
        *problem = QStringLiteral("%1: %2 is no number; give hex (0x81), binary (0b10000001) "
                                  "or decimal (129), without sign or spaces")
                       .arg(item.key, raw_text::quoted(text));
        return false;
    }
    if ((*number & ~uint64_t(item.bits)) != 0) {
        if (item.store == contract::StoreStatusLevels &&
            *number <= db25::port_bits(db25::Port::Data)) {
            *problem = QStringLiteral("%1: %2 sets bits 0 to 2; the status port has bits 3 to 7 "
                                      "only (low three bits clear, e.g. 0x28)")
                           .arg(item.key, raw_text::shortened(text));
        } else {
            *problem = QStringLiteral("%1: %2 is out of range 0x00 to %3")
                           .arg(item.key, raw_text::shortened(text), format_value(item, item.bits));
        }
        return false;
    }
    *value = uint32_t(*number);
    return true;
}

} // namespace

QString format_value(const Item &item, uint32_t value)
{
    if (item.kind == Kind::Direction) {
        if (value <= 1)
            return value ? kOutput : kInput;
        return QString::number(value);
    }
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString format(const Values &values)
{
    QString text;
    for (int index = 0; index < kItemCount; ++index) {
        if (values[size_t(index)]) {
            text += QString::fromLatin1(kItems[index].key) + QLatin1Char('=') +
                    format_value(kItems[index], *values[size_t(index)]) + QLatin1Char('\n');
        }
    }
    return text;
}

QJsonObject to_json(const Values &values)
{
    QJsonObject json;
    for (int index = 0; index < kItemCount; ++index) {
        if (!values[size_t(index)])
            continue;
        const Item &item = kItems[index];
        const QStringList path = QString::fromLatin1(item.key).split(QLatin1Char('.'));
        QJsonObject port = json.value(path[0]).toObject();
        const uint32_t value = *values[size_t(index)];
        if (item.kind == Kind::Direction && value <= 1)
            port.insert(path[1], format_value(item, value));
        else
            port.insert(path[1], qint64(value));
        json.insert(path[0], port);
    }
    return json;
}

bool take_assignment(const QString &assignment, Values *values, QString *problem)
{
    const int equals = assignment.indexOf(QLatin1Char('='));
    if (equals < 0) {
        *problem = QStringLiteral("%1 has no '='; write key=value, e.g. data.levels=0x81")
                       .arg(raw_text::quoted(assignment.trimmed()));
        return false;
    }
    const QString key = assignment.left(equals).trimmed();
    const int index = item_index(key);
    if (index < 0) {
        *problem = QStringLiteral("unknown key %1; the keys are %2")
                       .arg(raw_text::quoted(key), key_list());
        return false;
    }
    if ((*values)[size_t(index)]) {
        *problem = QStringLiteral("%1 is given twice").arg(key);
        return false;
    }
    uint32_t value = 0;
    if (!parse_value(kItems[index], assignment.mid(equals + 1).trimmed(), &value, problem))
        return false;
    (*values)[size_t(index)] = value;
    return true;
}

bool take_text(const QByteArray &bytes, const QString &where, Values *values, QString *problem)
{
    if (bytes.size() > kMostBytes) {
        *problem = QStringLiteral("%1 is larger than %2 KiB; a profile is a few lines of "
                                  "key=value (see kaldorium-lpt defaults save)")
                       .arg(where)
                       .arg(kMostBytes / 1024);
        return false;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    for (int number = 0; number < lines.size(); ++number) {
        QString what;
        if (lines[number].size() > kLongestLine) {
            what = QStringLiteral("the line is longer than %1 bytes; a profile line is "
                                  "key=value, e.g. data.levels=0x81")
                       .arg(kLongestLine);
        } else {
            const QString line = raw_text::decode(lines[number]).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (take_assignment(line, values, &what))
                continue;
        }
        *problem = QStringLiteral("%1:%2: %3").arg(where).arg(number + 1).arg(what);
        return false;
    }
    return true;
}

} // namespace profile
