// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "standin_dfu_util.h"

#include <QDir>
#include <QFile>

namespace testsupport {

StandInDfuUtil::StandInDfuUtil(int exitStatus, Kind kind) : saved_path_(qgetenv("PATH"))
{
    const QString bin = dir_.filePath(QStringLiteral("bin"));
    QDir(dir_.path()).mkpath(QStringLiteral("bin"));
    QDir(dir_.path()).mkpath(QStringLiteral("scratch"));
    if (kind != Kind::Missing) {
        // Each run appends its arguments, each ended by a zero byte, then a record separator.
        const QString log = dir_.filePath(QStringLiteral("runs"));
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "printf '%s\\0' \"$@\" >> '%1'\n"
                                              "printf '\\036' >> '%1'\n"
                                              "exit %2\n")
                                   .arg(log)
                                   .arg(exitStatus);
        QFile tool(bin + QStringLiteral("/dfu-util"));
        tool.open(QIODevice::WriteOnly);
        tool.write(script.toUtf8());
        tool.close();
        const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;
        tool.setPermissions(kind == Kind::Recording ? readable | QFile::ExeOwner : readable);
    }
    // Only the recording stand-in lets the rest of PATH follow: the others must not fall
    // through to an installed dfu-util.
    qputenv("PATH", kind == Kind::Recording ? QFile::encodeName(bin) + ':' + saved_path_
                                            : QFile::encodeName(bin));
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

} // namespace testsupport
