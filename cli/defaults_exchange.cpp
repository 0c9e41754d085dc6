// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "defaults_exchange.h"

#include "exit_codes.h"
#include "output.h"

#include "device_link/frames.h"

#include <QStringList>

namespace defaults_exchange {

int store(DeviceSession &session, const profile::Values &values)
{
    QList<QByteArray> frames;
    for (int index = 0; index < profile::kItemCount; ++index) {
        if (values[size_t(index)])
            frames.append(
                frames::command_frame(profile::kItems[index].store, *values[size_t(index)]));
    }
    return session.send(frames);
}

int read(DeviceSession &session, const Invocation &invocation,
         const std::array<bool, profile::kItemCount> &wanted, profile::Values *values)
{
    QList<QByteArray> requests;
    QList<uint8_t> types;
    for (int index = 0; index < profile::kItemCount; ++index) {
        if (!wanted[size_t(index)])
            continue;
        requests.append(frames::command_frame(profile::kItems[index].read, 0));
        types.append(profile::kItems[index].read);
    }
    session.clearReplies();
    if (int code = session.send(requests))
        return code;
    const EventWait::End end = session.awaitReplies(types, invocation.timeoutMs);
    QStringList missing;
    for (int index = 0; index < profile::kItemCount; ++index) {
        if (!wanted[size_t(index)])
            continue;
        const auto reply = session.replies().constFind(profile::kItems[index].read);
        if (reply == session.replies().constEnd())
            missing.append(QString::fromLatin1(profile::kItems[index].key));
        else
            (*values)[size_t(index)] = reply.value();
    }
    if (end == EventWait::End::TimedOut) {
        return output::fail(exit_code::kTempFail,
                            QStringLiteral("no reply from the device within %1 ms for %2; check "
                                           "that %3 is a KALDORIUM-LPT, or raise --timeout")
                                .arg(invocation.timeoutMs)
                                .arg(missing.join(QStringLiteral(", ")), session.nodePath()));
    }
    return session.failure(end);
}

int read_all(const Invocation &invocation, profile::Values *values, QString *node)
{
    DeviceSession session(invocation);
    if (int code = session.open())
        return code;
    *node = session.nodePath();
    return read(session, invocation, kAllItems, values);
}

} // namespace defaults_exchange
