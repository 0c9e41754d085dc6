// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "defaults_exchange.h"

#include "exit_codes.h"
#include "output.h"

#include "device_link/frames.h"

#include <QStringList>

namespace defaults_exchange {

namespace {

// A direction is 0 or 1; levels have only their port's bits.
bool fits(const profile::Item &item, uint32_t value)
{
    return (value & ~item.bits) == 0;
}

} // namespace

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
    // A reply counts only when its value fits its item. Anything else (noise on the line that
    // looks like a reply, a confused device) is no reply: the wait goes on for a good one.
    profile::Values taken;
    profile::Values refused; // the last out-of-range value of each item
    const auto previous = session.onEvent;
    session.onEvent = [&](const receive::Event &event) {
        if (previous)
            previous(event);
        if (event.what != receive::Completed::ConfigReply)
            return;
        const receive::State &reply = session.receiveState();
        for (int index = 0; index < profile::kItemCount; ++index) {
            const profile::Item &item = profile::kItems[index];
            if (!wanted[size_t(index)] || item.read != reply.config_type)
                continue;
            if (fits(item, reply.input_config_data))
                taken[size_t(index)] = reply.input_config_data;
            else
                refused[size_t(index)] = reply.input_config_data;
        }
    };
    const auto complete = [&] {
        for (int index = 0; index < profile::kItemCount; ++index) {
            if (wanted[size_t(index)] && !taken[size_t(index)])
                return false;
        }
        return true;
    };

    QList<QByteArray> requests;
    for (int index = 0; index < profile::kItemCount; ++index) {
        if (wanted[size_t(index)])
            requests.append(frames::command_frame(profile::kItems[index].read, 0));
    }
    int code = session.send(requests);
    const EventWait::End end =
        code ? EventWait::End::Done : session.waitUntil(complete, invocation.timeoutMs);
    session.onEvent = previous;
    if (code)
        return code;

    QStringList missing;
    QStringList out_of_range;
    for (int index = 0; index < profile::kItemCount; ++index) {
        const QString key = QString::fromLatin1(profile::kItems[index].key);
        if (taken[size_t(index)]) {
            (*values)[size_t(index)] = taken[size_t(index)];
            continue;
        }
        if (!wanted[size_t(index)])
            continue;
        missing.append(key);
        if (refused[size_t(index)])
            out_of_range.append(
                QStringLiteral("%1=0x%2").arg(key).arg(*refused[size_t(index)], 0, 16));
    }
    if (end == EventWait::End::TimedOut) {
        const QString refusals = out_of_range.isEmpty()
                                     ? QString()
                                     : QStringLiteral(" (out of range, not taken: %1)")
                                           .arg(out_of_range.join(QStringLiteral(", ")));
        return output::fail(
            exit_code::kTempFail,
            QStringLiteral("no reply from the device within %1 ms for %2%3; "
                           "check that %4 is a KALDORIUM-LPT, or raise --timeout")
                .arg(invocation.timeoutMs)
                .arg(missing.join(QStringLiteral(", ")), refusals, session.nodePath()));
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
