// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace output {

namespace {

void write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void print(const QString &text)
{
    write(stdout, text.toUtf8());
}

void print_json(const QJsonValue &document)
{
    QByteArray bytes;
    if (document.isArray())
        bytes = QJsonDocument(document.toArray()).toJson(QJsonDocument::Compact);
    else
        bytes = QJsonDocument(document.toObject()).toJson(QJsonDocument::Compact);
    write(stdout, bytes + '\n');
}

void note(const QString &text)
{
    write(stderr, (QStringLiteral("kaldorium-lpt: ") + text + QLatin1Char('\n')).toUtf8());
}

int fail(int code, const QString &message)
{
    note(message);
    return code;
}

} // namespace output
