// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_STATUS_LINE_H
#define KALDORIUM_CLI_STATUS_LINE_H

// One line of progress on standard error, rewritten in place, for long work watched on a
// terminal. Nothing at all is written when standard error is not a terminal (a log file, a
// pipe), or when standard output goes to the same terminal as results. Notes and errors put
// it out of the way first (clear()); the next show() brings it back.

#include <QString>

class StatusLine {
public:
    // resultsOnStandardOutput: standard output carries results that a status line on the same
    // terminal would garble (a recording written to -).
    explicit StatusLine(bool resultsOnStandardOutput = false);
    ~StatusLine();
    StatusLine(const StatusLine &) = delete;
    StatusLine &operator=(const StatusLine &) = delete;

    bool enabled() const { return enabled_; }
    // Replaces the line with this text (cut to the terminal's width).
    void show(const QString &text);
    // Removes the line, so that a note can be written where it stood.
    void clear();

private:
    bool enabled_ = false;
    bool shown_ = false;
};

#endif
