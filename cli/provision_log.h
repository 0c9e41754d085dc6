// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_PROVISION_LOG_H
#define KALDORIUM_CLI_PROVISION_LOG_H

// What provision keeps of each device: the record, as one JSON line with its keys in a fixed
// order, and the log file those lines are appended to.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace provision {

struct Record {
    QDateTime time; // when the device was taken, UTC
    QString addressBefore;
    QString addressAfter;         // empty without --address (null in the log)
    QString node;                 // where the device is when the record is written
    QString serial;               // empty where the port has none (null)
    std::optional<bool> selftest; // passed or failed; none without --selftest (null)
    QString profile;              // the path as given
    QString profileSha256;
    bool verified = false; // the profile's keys read back equal
    bool ok = false;
    QString error; // the error line; empty when ok (null)
    double seconds = 0;
};

// {"time":"2026-12-08T09:12:03Z","address_before":"C100","address_after":"C200",
//  "node":"/dev/KALDORIUM_LPT_C200","serial":null,"selftest":"passed",
//  "profile":"line3.profile","profile_sha256":"...","verified":true,"result":"ok",
//  "error":null,"seconds":1.21} and a newline.
QByteArray json_line(const Record &record);

// The log: lines appended, each in one write and synced before the next device, so that a
// line is in the file whole or not at all; a line that cannot be written is taken back out
// where the file allows it.
class Log {
public:
    explicit Log(QByteArray path); // the file system's bytes
    ~Log();
    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;

    // Opens (makes) the file for appending. 0, 73 when it cannot be made or opened, 128 + the
    // signal when Ctrl-C ends the open of a FIFO nobody reads.
    int open();
    // Appends the line. 0, or 74 after the error line.
    int append(const QByteArray &line);
    QString displayName() const;

private:
    QByteArray path_;
    int fd_ = -1;
    bool regular_ = false;
};

} // namespace provision

#endif
