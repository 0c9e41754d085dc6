// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_CLI_VCD_WRITER_H
#define KALDORIUM_CLI_VCD_WRITER_H

// A Value Change Dump (IEEE 1364) of the 17 signal pins, as GTKWave, PulseView and
// sigrok-cli read it: a timescale of 1 us, one 1-bit wire per pin named pin<N>_<bit>
// (pin13_S4), the initial values at #0, then a time and the changed wires for each change.
// Into a file, the text is kept in memory and written out in large blocks; into a stream (a
// pipe to a viewer, `| head`), each change is handed over as it comes. finish() writes the
// rest and the end time.

#include "device_link/frames.h"

#include "output_file.h"

#include <QByteArray>

#include <cstdint>

class VcdWriter {
public:
    explicit VcdWriter(OutputFile &out) : out_(out), prompt_(out.isStream()) {}

    // The header and the initial values at #0. The comment is kept to one line of printable
    // text without '$' (a path may hold "$end", which would end it early).
    void begin(const frames::InputLevels &levels, const QString &comment);
    // The levels at `us` microseconds after #0. Writes only the pins that changed; a time
    // not after the last one written moves on by 1 us, so that no change is lost.
    void sample(int64_t us, const frames::InputLevels &levels);
    // Writes the end time (a viewer shows the recording to there) and everything held back.
    // False when the output refused the bytes.
    bool finish(int64_t end_us);

    int64_t changes() const { return changes_; }

private:
    void spill();

    OutputFile &out_;
    const bool prompt_;
    QByteArray text_;
    uint32_t last_ = 0;
    int64_t last_us_ = 0;
    int64_t changes_ = 0;
    bool failed_ = false;
};

#endif
