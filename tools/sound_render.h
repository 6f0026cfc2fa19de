// The offline sound renderer behind wav_render: runs the emulator at real speed against a
// simulated host clock and pulls the sound through the real audio callback.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "machines/machine_kind.h"

namespace wav_render {



enum class Op : uint8_t { OUT, SN, AY, BEEPER, PMD, PORTC };

struct Command {
    uint32_t frame;
    Op op;
    std::array<uint32_t, 3> args;
};

struct Job {
    MachineKind machine = MZ800;
    uint32_t frames = 100;
    std::vector<uint8_t> program; // started at `at` when not empty
    uint16_t at = 0;              // 0: the machine's default load address
    bool park = false;            // without a program: idle in RAM rather than run the ROM
    std::vector<Command> script;
};

uint16_t default_load_address(MachineKind kind);
bool parse_number(const std::string& text, uint32_t& value);
// Parses a script; false with a message in `error` for a line it cannot read.
bool parse_script(const std::string& text, std::vector<Command>& out, std::string& error);
// Renders the job; returns interleaved left/right samples at 44100 Hz.
std::vector<int16_t> render(const Job& job);

} // namespace wav_render
