// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "status_line.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool same_terminal(int a, int b)
{
    struct stat first {};
    struct stat second {};
    return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino && first.st_rdev == second.st_rdev;
}

void write_err(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

StatusLine::StatusLine(bool resultsOnStandardOutput)
{
    enabled_ =
        ::isatty(STDERR_FILENO) == 1 && !(resultsOnStandardOutput && ::isatty(STDOUT_FILENO) == 1 &&
                                          same_terminal(STDOUT_FILENO, STDERR_FILENO));
}

StatusLine::~StatusLine()
{
    clear();
}

void StatusLine::show(const QString &text)
{
    if (!enabled_)
        return;
    // A line longer than the terminal wraps, and the carriage return would then rewrite only
    // its last row.
    winsize size{};
    const int columns =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
    write_err("\r" + text.left(columns - 1).toUtf8() + "\x1b[K");
    shown_ = true;
}

void StatusLine::clear()
{
    if (!shown_)
        return;
    write_err("\r\x1b[K");
    shown_ = false;
}
