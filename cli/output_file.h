// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_OUTPUT_FILE_H
#define KALDORIUM_CLI_OUTPUT_FILE_H

// A file the program writes its results into (a profile, a recording), written whole or not
// at all, and never at the cost of what was there:
// - A regular file at the path, or none yet: the data goes into a new temporary file beside
//   it (same directory, created exclusively, with the old file's mode and owner, or the mode
//   a new file gets), and commit() syncs it and renames it over the target, so that the
//   target is the old file or the new one whole, never a part.
// - A symbolic link is followed: the file it points to is replaced (or made), the link stays.
// - Anything else that exists (a device node, a FIFO, a socket, /dev/null, /dev/stdout and
//   the other names under /proc/self/fd) is opened and written into, as a shell redirection
//   does; it is never replaced and never removed.
// - "-" is standard output, with its checked writes (output.h).
// Without commit() (nothing to keep, a failure, Ctrl-C), the target stays as it was and only
// the temporary file is removed. Every write, the sync, the close and the rename are checked.
//
// The path is the file system's bytes (raw_text::encode of an argument), so any name opens.
// Methods returning int return 0 or the exit code after the error line has been written.

#include <QByteArray>
#include <QString>

class OutputFile {
public:
    explicit OutputFile(const QByteArray &path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Makes the temporary file, or opens the target that is written into. 73 when it cannot
    // be made (a missing directory, no permission, a directory at the path), 128 + the signal
    // when SIGINT or SIGTERM ends the open of a FIFO that no one reads.
    int open();
    // Appends bytes. False once a write has failed; commit() then reports it.
    bool write(const QByteArray &bytes);
    // Puts the file in place. 74 when a write, the sync, the close or the rename failed (the
    // old file is then unchanged), 128 + the signal when one ended a write.
    int commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

    // The path as it may be shown (invalid bytes and control characters escaped).
    QString displayName() const;
    bool isStandardOutput() const { return kind_ == Kind::StandardOutput; }
    // True when the bytes go straight to their reader (standard output, a FIFO, a device), so
    // a writer of a long stream hands them over as they come instead of holding them back.
    bool isStream() const { return kind_ != Kind::Replace; }

private:
    enum class Kind { StandardOutput, Replace, WriteInto };

    int cannotCreate(int error);
    int writeFailed();

    QByteArray path_;   // as given
    QByteArray target_; // the regular file to replace (links followed)
    QByteArray temp_;   // the temporary file beside it, while it exists
    Kind kind_ = Kind::Replace;
    int fd_ = -1;
    int error_ = 0; // errno of the first failed write
    bool target_exists_ = false;
    bool committed_ = false;
};

#endif
