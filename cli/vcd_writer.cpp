// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vcd_writer.h"

#include "raw_text.h"

#include "device_link/db25_pins.h"

namespace {

constexpr int kSpillBytes = 64 * 1024;

// Wire identifiers: one printable character per pin, '!' for pin 1.
char wire_id(int pin)
{
    return char('!' + pin - 1);
}

} // namespace

void VcdWriter::begin(const frames::InputLevels &levels, const QString &comment)
{
    text_ += "$comment " + raw_text::header_safe(comment).toUtf8() + " $end\n";
    text_ += "$timescale 1 us $end\n";
    text_ += "$scope module kaldorium_lpt $end\n";
    for (int n = 1; n <= db25::kSignalPins; ++n) {
        text_ += QByteArray("$var wire 1 ") + wire_id(n) + " pin" + QByteArray::number(n) + '_' +
                 db25::pin(n).name + " $end\n";
    }
    text_ += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    last_ = db25::signal_levels(levels);
    for (int n = 1; n <= db25::kSignalPins; ++n)
        text_ += QByteArray((last_ >> (n - 1)) & 1 ? "1" : "0") + wire_id(n) + '\n';
    text_ += "$end\n";
    last_us_ = 0;
    if (prompt_)
        spill();
}

void VcdWriter::sample(int64_t us, const frames::InputLevels &levels)
{
    const uint32_t now = db25::signal_levels(levels);
    const uint32_t changed = now ^ last_;
    if (!changed)
        return;
    if (us <= last_us_)
        us = last_us_ + 1;
    text_ += '#' + QByteArray::number(qlonglong(us)) + '\n';
    for (int n = 1; n <= db25::kSignalPins; ++n) {
        if ((changed >> (n - 1)) & 1)
            text_ += QByteArray((now >> (n - 1)) & 1 ? "1" : "0") + wire_id(n) + '\n';
    }
    last_ = now;
    last_us_ = us;
    ++changes_;
    if (prompt_ || text_.size() >= kSpillBytes)
        spill();
}

bool VcdWriter::finish(int64_t end_us)
{
    if (end_us > last_us_)
        text_ += '#' + QByteArray::number(qlonglong(end_us)) + '\n';
    spill();
    return !failed_;
}

void VcdWriter::spill()
{
    if (!failed_ && !out_.write(text_))
        failed_ = true;
    text_.clear();
}
