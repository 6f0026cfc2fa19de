// ZX Spectrum tape files into the cassette's spans and blocks, and the SAVE appender.
//   .tap  blocks of a 16-bit length and that many bytes (flag, data, checksum), each played at
//         the ROM's standard timing with a 1 s pause after it;
//   .tzx  revision 1.20: standard and turbo blocks, tones, pulses, pure data, direct and CSW
//         recordings, generalized data, pauses and stops, groups, loops, signal levels,
//         glue and the informational blocks; any other block is skipped by its length with
//         a warning on standard error;
//   .wav  PCM recordings, 8 or 16 bits, any number of channels and rate, read as a signal
//         through a threshold with hysteresis around the recording's mean.
// Times are T-states of the 3.5 MHz clock. A file is checked as it is read: nothing is read
// outside it, and a damaged file gives the reason instead of a tape.
#pragma once

#include <cstdint>
#include <string>

#include "machines/zx/zx.h"

enum class TapeFormat : uint8_t { TAP, TZX, WAV };

// The format a file name's extension names (.tap, .tzx, .wav in either case); false for others.
bool tape_format_of(const std::string& name, TapeFormat& format);

// Reads the file's bytes into `image`: null when done, else why it cannot be played. `name`
// is used in the warnings about skipped blocks.
const char* tape_parse(TapeFormat format, const uint8_t* data, uint32_t size, const char* name, TapeImage& image);

// The largest tape file read (a long recording at 44.1 kHz fits several times over).
constexpr uint32_t TAPE_FILE_MAX = 64u << 20;
