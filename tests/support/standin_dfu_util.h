// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_STANDIN_DFU_UTIL_H
#define KALDORIUM_TEST_STANDIN_DFU_UTIL_H

// A dfu-util that flashes nothing: while alive, "dfu-util" on the program's search path is a
// shell script that records its arguments byte for byte and exits with a chosen status.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class StandInDfuUtil {
public:
    enum class Kind {
        Recording,     // first on PATH, the rest of PATH after it
        NotExecutable, // PATH holds only its directory, where the script cannot be run
        Missing,       // PATH holds only its directory, and no dfu-util in it
    };

    explicit StandInDfuUtil(int exitStatus = 0, Kind kind = Kind::Recording);
    ~StandInDfuUtil(); // restores PATH
    StandInDfuUtil(const StandInDfuUtil &) = delete;
    StandInDfuUtil &operator=(const StandInDfuUtil &) = delete;

    // The arguments of each run so far, byte for byte, in order.
    QList<QByteArrayList> runs() const;
    // A directory for the tests' own files (images, files that must not appear).
    QString scratchDirectory() const { return dir_.filePath(QStringLiteral("scratch")); }

private:
    QTemporaryDir dir_;
    QByteArray saved_path_;
};

} // namespace testsupport

#endif
