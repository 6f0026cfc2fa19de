// A CP/M 2.2 program environment for the headless tools: page zero, a BDOS that serves
// console output through a port trap, and a run loop on the flat machine.
//
// Memory layout (64 KiB, all RAM):
//   0000h  OUT (FFh),A ; JP 0000h   warm boot: the program has ended
//   0005h  JP FE00h                 BDOS entry; the word at 0006h is the top of the TPA
//   0080h  empty command tail
//   0100h  the program; the TPA runs up to FDFFh
//   FE00h  OUT (FEh),A ; RET        BDOS: the port trap performs function C
// The stubs use 8080 opcodes only, so the same page zero serves the Z80 and the 8080.
// Not modelled: disc and console input functions, the CCP, the BIOS jump table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "machines/machine_kind.h"

namespace cpm {

constexpr uint16_t TPA_START = 0x0100;
constexpr uint16_t BDOS_STUB = 0xFE00;
constexpr std::size_t TPA_SIZE = BDOS_STUB - TPA_START;
// A program started by the CCP finds 0000h on its stack, so a plain RET ends it too.
constexpr uint16_t START_SP = BDOS_STUB - 2;

// Low bytes of the trap ports the stubs write to.
constexpr uint8_t BDOS_PORT = 0xFE;
constexpr uint8_t BOOT_PORT = 0xFF;

// BDOS function numbers served.
constexpr uint8_t F_SYSTEM_RESET = 0;
constexpr uint8_t F_CONSOLE_OUTPUT = 2;
constexpr uint8_t F_PRINT_STRING = 9;

using Memory = std::array<uint8_t, 65536>;
using ConsoleFn = void (*)(uint8_t ch);

// Writes page zero, the BDOS stub and the program into memory. Returns false, leaving
// memory untouched, when the program does not fit in the TPA.
bool lay_out(Memory& memory, const uint8_t* program, std::size_t size);

enum class BdosOutcome { CONTINUE, WARM_BOOT };

// Performs BDOS function `function` for the program: 2 writes E, 9 writes the
// $-terminated string at DE, 0 ends the program; every other function does nothing.
BdosOutcome bdos_call(const Memory& memory, uint8_t function, uint16_t de, ConsoleFn console);

// ---- The program on the Kestrel core over the flat machine ----

enum class RunEnd { WARM_BOOT, CYCLE_LIMIT };

// Installs the flat machine with the handler set of `kind` (MZ800: Z80 with fixed costs,
// ZX48: Z80 with ZX access timing, PMD85: 8080), lays out the program and points pc at it.
// Returns false when the program does not fit in the TPA.
bool load(MachineKind kind, const uint8_t* program, std::size_t size, ConsoleFn console);

// Runs until the program ends (warm boot) or, when max_cycles is non-zero, until at least
// that many cycles have elapsed; the limit is checked at the end of each scan line.
RunEnd run(uint64_t max_cycles);

} // namespace cpm
