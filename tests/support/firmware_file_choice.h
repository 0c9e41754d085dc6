// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_FIRMWARE_FILE_CHOICE_H
#define KALDORIUM_TEST_FIRMWARE_FILE_CHOICE_H

// While alive, "Open firmware file" shows no dialog: the operator picks the path set here
// (an empty path: the operator cancelled).

#include <QString>

namespace testsupport {

class FirmwareFileChoice {
public:
    explicit FirmwareFileChoice(const QString &path = QString());
    ~FirmwareFileChoice();
    FirmwareFileChoice(const FirmwareFileChoice &) = delete;
    FirmwareFileChoice &operator=(const FirmwareFileChoice &) = delete;

    void set(const QString &path) { path_ = path; }

private:
    QString path_;
};

} // namespace testsupport

#endif
