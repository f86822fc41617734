// glosscheck's message output: msg_print and the per-letter levels msg_levels.
//
// The checker's own messages and those of the shared dictionary engine and
// formatters (which write through vl::TraceLine) come out the same way: the
// formatted text and a line feed on standard output, when the level of the
// message's letter is at least the message's level. The letter is D for the
// dictionary, dialog and check messages and N for the locale messages; levels
// are 1 fatal error, 2 non-fatal warning or note, 3 call trace.
#pragma once

#include <array>
#include <cstdint>

#include "common.h"

namespace glosscheck {

// One level per letter A to Z, all 0 until the run sets them to the warning
// level. They are the trace levels, so one filter serves msg_print and TraceLine.
inline std::array<std::int8_t, 26> &msg_levels() noexcept { return vl::Trace().flags; }

// Makes the trace writer print the text alone and a line feed on standard output.
void msg_bind() noexcept;

// Writes the formatted text (at most 1023 characters) and a line feed on
// standard output if msg_levels lets `letter` at `level` through.
void msg_print(char letter, int level, const char *format, ...) VL_PRINTF(3, 4);

}  // namespace glosscheck
