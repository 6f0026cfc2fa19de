// The MZ-800's memory map: its page handlers (monitor ROM, character generator, the ROM at
// E000h, the MZ-700 text screen and character RAM, RAM guarded by the prohibit state), the
// two template tables its banking ports E0h-E6h copy from, and the remapping that goes with
// a display mode write.
#pragma once

#include <array>
#include <cstdint>

// The memory map as data: for each 4 KiB page the system template entry it holds, or
// MZ_PAGE_RAM; the page slots are derived from it.
constexpr uint8_t MZ_PAGE_RAM = 0xFF;

struct MzBanking {
    std::array<uint8_t, 16> page_map;
    bool upper_prohibited; // MZ-800 prohibit state (E5h), cleared by E6h and E4h
};
extern MzBanking banking;

// MZ-800 template tables: entries 0-15 for MZ700_MODE, 16-31 for MZ800.
constexpr int MZ800_ENTRIES = 16;
void map_system_page(int page, int entry); // both slots of page := system template entry
void map_ram_page(int page);               // both slots of page := RAM template entry
// True while page holds the given system template entry's write handler.
bool page_writes_like_system(int page, int entry);

// Sets the prohibit state; the upper pages' direct bytes follow it.
void set_upper_prohibited(bool prohibited);

// Tells the shared page slots which MZ-800 handlers are plain memory in the current state.
void install_mz_page_bytes();

// The page slots again from banking.page_map, after the map was loaded.
void mz_page_map_apply();

// Banking ports E0h-E6h: writes, and the two reads that remap (returning the open bus).
void bank_write(uint8_t port);
uint8_t bank_read(uint8_t port);

// CEh: the display mode register. Remaps the pages the mode changes, names the mode on the
// status line, sets the GDG register and selects MZ700_MODE or MZ800 by bit 3.
void display_mode_write(uint8_t value);

// The MZ-700 text screen (D000h-DFFFh) and character RAM (C000h-CFFFh) in MZ700_MODE, with
// the display's wait states; plain RAM in MZ800.
int rd_vram700(uint16_t address);
void wr_vram700(uint16_t address, uint8_t value);
int rd_pcg700(uint16_t address);
void wr_pcg700(uint16_t address, uint8_t value);
