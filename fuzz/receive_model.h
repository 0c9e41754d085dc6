// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_RECEIVE_MODEL_H
#define KALDORIUM_RECEIVE_MODEL_H

// A second, deliberately plain account of how the device's byte stream is cut into frames,
// written without looking at the program's state machine: it keeps the bytes of the frame
// that is open and decides by their count. The fuzzer and the hostile-input tests run it
// next to the program and compare every step.
//
//   no frame open     0xFF opens a frame start; anything else is ignored
//   after one 0xFF    0xFF makes it a configuration reply; anything else is the first byte
//                     of an input status frame
//   inside a frame    0xFF abandons the frame (and opens nothing); anything else is the
//                     next byte; an input status frame ends after 4 bytes, a reply after 3

#include <cstdint>
#include <vector>

namespace model {

struct Outcome {
    enum Kind { None, Levels, ErrorReport, Reply };
    Kind kind = None;
    uint8_t errorLines = 0; // ErrorReport: 0x40 Fifo, 0x10 Frame broken, 0x20 Input frame lose
};

class ReceiveModel {
public:
    Outcome take(uint8_t byte);

    // The program's numbering of the same situation: 100 nothing open, 1 after one marker,
    // 2..4 inside an input status frame, 10..12 inside a reply.
    int stateNumber() const;

    // The four stored bytes of the latest input status frame, complete or not (in_0, in_1,
    // in_2, counter); bytes of an abandoned frame stay until overwritten.
    uint8_t stored[4] = {0, 0, 0, 0};
    uint8_t previousCounter = 127;
    uint8_t data = 0;
    uint8_t status = 0;
    uint8_t control = 0;
    // Type and value of the latest reply, each kept as soon as its bytes arrive: the type
    // with the first byte, the high group with the second, the low group joined in with the
    // third (value = high * 128 OR low).
    uint8_t replyType = 0;
    uint32_t replyValue = 0;

private:
    enum class Open { Nothing, FrameStart, Status, Reply };
    Outcome finishStatus();

    Open open_ = Open::Nothing;
    std::vector<uint8_t> body_; // bytes of the open frame after its markers
};

} // namespace model

#endif
