// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "raw_text.h"

namespace raw_text {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80 ... U+DCFF stand for the bytes 0x80 ... 0xFF

bool is_continuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at bytes[at], or 0 when the byte there starts none
// (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
int sequence_length(const QByteArray &bytes, int at)
{
    const auto byte = [&](int offset) { return uint8_t(bytes[at + offset]); };
    const uint8_t lead = byte(0);
    int length = 0;
    uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byte(1) < low || byte(1) > high)
        return 0;
    for (int offset = 2; offset < length; ++offset) {
        if (!is_continuation(byte(offset)))
            return 0;
    }
    return length;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (int at = 0; at < bytes.size();) {
        const int length = sequence_length(bytes, at);
        if (length == 0) {
            text.append(QChar(char16_t(kEscapeBase + uint8_t(bytes[at]))));
            ++at;
            continue;
        }
        text.append(QString::fromUtf8(bytes.constData() + at, length));
        at += length;
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
            bytes += QString(text.constData() + at, 2).toUtf8();
            ++at;
        } else if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF) {
            bytes += char(c.unicode() - kEscapeBase);
        } else {
            bytes += QString(c).toUtf8(); // a stray surrogate becomes U+FFFD
        }
    }
    return bytes;
}

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF)
            shown += QStringLiteral("\\x%1").arg(u - kEscapeBase, 2, 16, QLatin1Char('0'));
        else if (u < 0x20 || u == 0x7F)
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (u >= 0x80 && u <= 0x9F)
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString header_safe(const QString &text)
{
    return printable(text).replace(QLatin1Char('$'), QLatin1String("\\x24"));
}

QString shortened(const QString &text, int limit)
{
    if (text.size() <= limit)
        return printable(text);
    int cut = limit;
    if (text.at(cut - 1).isHighSurrogate())
        --cut; // never half a character
    return printable(text.left(cut)) + QStringLiteral("...");
}

QString quoted(const QString &text, int limit)
{
    return QLatin1Char('"') + shortened(text, limit) + QLatin1Char('"');
}

} // namespace raw_text
