// The memory every machine is built from: the physical stores and the sixteen 4 KiB page
// slots through which the CPU reaches them (page_read_slots and page_write, declared with
// the CPU state). A machine family fills the slots with its own page handlers when it is
// selected; the plain handlers here (RAM, ignored writes, the floating bus) are the ones
// every family uses.
#pragma once

#include <array>
#include <cstdint>

#include "cpu/cpu_state.h"

// 96 KiB: 0000h-FFFFh is what every machine addresses; 10000h-17FFFh holds ZX 128K
// banks 1 and 3 (and the MZ-800's rendered line codes, which it never addresses).
using MainRam = std::array<uint8_t, 0x18000>;
// 32 KiB: the MZ-800's four 8 KiB planes; in MZ-700 mode the character RAM, codes and
// attributes; ZX 128K banks 4 and 6.
using VideoRam = std::array<uint8_t, 0x8000>;

extern MainRam main_ram;
extern VideoRam video_ram;

// The byte the CPU fetched last (the byte at pc - 1): what floating buses read.
uint8_t open_bus();

// Page handlers shared by every machine.
int rd_ram(uint16_t address);
void wr_ram(uint16_t address, uint8_t value);
void wr_ignore(uint16_t address, uint8_t value);
int rd_open_bus(uint16_t address);

// Both slots of pages first to last (and their direct bytes).
void map_pages(int first, int last, PageReadFn read, PageWriteFn write);

// What the selected family's page handlers stand for in the current mapping state: the
// bytes of the page starting at base when the handler only reads or writes them, else null.
// A handler the hook does not know gets no direct bytes. peek and poke (optional) reach the
// memory behind a handler that has no direct bytes, as the debugger asks for it: the byte the
// CPU would read or write at the address, without waits, contention or any other effect; false
// where the address holds no memory (I/O, open bus, ROM for a write).
struct PageBytesHooks {
    const uint8_t* (*read)(PageReadFn handler, uint32_t base);
    uint8_t* (*write)(PageWriteFn handler, uint32_t base);
    bool (*peek)(PageReadFn handler, uint16_t address, uint8_t& value) = nullptr;
    bool (*poke)(PageWriteFn handler, uint16_t address, uint8_t value) = nullptr;
};
void install_page_bytes(const PageBytesHooks& hooks);

// ---- The debugger's view ---------------------------------------------------------------

// What the CPU would read or write at an address in the current mapping, with none of the
// access's other effects (waits, contention, memory-mapped I/O, open bus). false where the
// address holds no memory: I/O and open bus, and ROM or ignored writes for debug_write.
bool debug_read(uint16_t address, uint8_t& value);
bool debug_write(uint16_t address, uint8_t value);

// Watched pages: the CPU's reads of a page whose bit is set in read_pages, and its writes to a
// page set in write_pages, are shown to `seen` before the machine's handler does its work.
// The machine's handlers stay behind the slots (its banking changes them as before); empty
// masks leave the slots exactly as the machine made them.
using WatchFn = void (*)(uint16_t address, bool write);
void watch_pages(uint16_t read_pages, uint16_t write_pages, WatchFn seen);
// The machine's own write handler of a page, watched or not.
PageWriteFn machine_page_write(int page);
// The machine's own read handler of a page, watched or not.
PageReadFn machine_page_read(int page);
