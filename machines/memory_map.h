// Machine selection and the memory map the CPU sees.
// The CPU reaches memory only through sixteen 4 KiB page slots (page_read_slots, page_write);
// this file owns the physical stores, the page handlers of RAM, ROM and open bus, the two
// MZ-800 template tables its banking ports copy from, the ZX Spectrum and PMD 85 maps, the
// top-level I/O dispatch with its port enable maps, and the 40-column status line.
#pragma once

#include <array>
#include <cstdint>

#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h" // io_read, io_write, zx128_paging, pio_vector, pio_in_service
#include "machines/machine_kind.h"

// 96 KiB: 0000h-FFFFh is what every machine addresses; 10000h-17FFFh holds ZX 128K
// banks 1 and 3 (and the MZ-800's rendered line codes, which it never addresses).
using MainRam = std::array<uint8_t, 0x18000>;
// 32 KiB: the MZ-800's four 8 KiB planes; in MZ-700 mode the character RAM, codes and
// attributes; ZX 128K banks 4 and 6.
using VideoRam = std::array<uint8_t, 0x8000>;

extern MainRam main_ram;
extern VideoRam video_ram;

extern bool upper_prohibited; // MZ-800 prohibit state (E5h), cleared by E6h and E4h
extern bool cg_japanese;      // the Japanese character generator replaces the standard one

// The byte the CPU fetched last (the byte at pc - 1): what floating buses read.
uint8_t open_bus();

void select_machine(MachineKind kind);

// MZ-800 power-on: display mode 0, MZ800 selected, the E4h bank reset, no scroll, black border.
void mz_start();

// The chipset's power-on state (timers, 8255, PIO, sound chips, paging, status line).
void chipset_reset();

// MZ-800 template tables: entries 0-15 for MZ700_MODE, 16-31 for MZ800.
constexpr int MZ800_ENTRIES = 16;
void map_system_page(int page, int entry); // both slots of page := system template entry
void map_ram_page(int page);               // both slots of page := RAM template entry
// True while page holds the given system template entry's write handler.
bool page_writes_like_system(int page, int entry);

// Banking ports E0h-E6h: writes, and the two reads that remap (returning the open bus).
void bank_write(uint8_t port);
uint8_t bank_read(uint8_t port);

// Port enable maps: a port is answered only once enabled (low 8 bits of the address).
void port_enable_read(const uint8_t* ports, int count);
void port_enable_write(const uint8_t* ports, int count);
void port_disable_all();

// The status line, shown while F9 is held: 40 display codes and 40 attributes.
struct StatusLine {
    std::array<uint8_t, 40> chars;
    std::array<uint8_t, 40> attrs;
};
extern StatusLine status_line;
extern int32_t status_cursor; // the column is status_cursor modulo 40
extern uint8_t status_attr;

// Prints ASCII text at the cursor through the monitor ROM's display-code table;
// CR returns to the start of the line, LF moves down a line.
void status_print(const char* text);
void status_print_byte(uint8_t ch);
// The lowest `digits` hexadecimal digits of value, upper case, most significant first.
void status_hex(uint32_t value, int digits);
