// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "receive_model.h"

namespace model {

namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr std::size_t kStatusBytes = 4;

} // namespace

Outcome ReceiveModel::take(uint8_t byte)
{
    if (byte == kMarker) {
        if (open_ == Open::Nothing)
            open_ = Open::FrameStart;
        else if (open_ == Open::FrameStart)
            open_ = Open::Reply;
        else
            open_ = Open::Nothing; // abandoned
        body_.clear();
        return {};
    }

    switch (open_) {
    case Open::Nothing:
        return {};
    case Open::FrameStart:
        open_ = Open::Status;
        break;
    case Open::Status:
    case Open::Reply:
        break;
    }

    body_.push_back(byte);
    if (open_ == Open::Status) {
        stored[body_.size() - 1] = byte;
        if (body_.size() == kStatusBytes)
            return finishStatus();
        return {};
    }

    // The reply's fields are kept as they arrive, also those of a reply abandoned later.
    if (body_.size() == 1) {
        replyType = byte;
        return {};
    }
    if (body_.size() == 2) {
        replyValue = uint32_t(byte) * 128u;
        return {};
    }
    replyValue |= byte; // neither group is masked: a low byte above 0x7F overlaps the high group
    open_ = Open::Nothing;
    body_.clear();
    Outcome outcome;
    outcome.kind = Outcome::Reply;
    return outcome;
}

Outcome ReceiveModel::finishStatus()
{
    const uint8_t in0 = body_[0];
    const uint8_t in1 = body_[1];
    const uint8_t in2 = body_[2];
    previousCounter = body_[3];
    open_ = Open::Nothing;
    body_.clear();

    Outcome outcome;
    if (in1 & 0x20) {
        outcome.kind = Outcome::ErrorReport;
        outcome.errorLines = in2 & 0x70;
        return outcome;
    }
    // Data pin n is bit n: D1..D7 from in_0, D0 from bit 6 of in_1. S3..S7 sit in bits 0..4
    // of in_1 and move to bits 3..7; whatever else in_1 holds falls off the top.
    data = uint8_t(in0 * 2 + ((in1 / 64) % 2));
    status = uint8_t((in1 * 8) % 256);
    control = in2;
    outcome.kind = Outcome::Levels;
    return outcome;
}

int ReceiveModel::stateNumber() const
{
    switch (open_) {
    case Open::Nothing:
        return 100;
    case Open::FrameStart:
        return 1;
    case Open::Status:
        return 1 + int(body_.size());
    case Open::Reply:
        return 10 + int(body_.size());
    }
    return -1;
}

} // namespace model
