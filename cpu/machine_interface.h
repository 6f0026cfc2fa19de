// What the CPU core calls out to. The machine layer and the host shell provide these;
// the headless tools supply a flat 64 KiB machine instead.
#pragma once

#include <cstdint>

uint8_t io_read(uint16_t port);
void io_write(uint16_t port, uint8_t value);

// Per-scan-line hook of the frame timing, called when the run loop closes a line.
void scanline_step();

// Derives page_read_direct and page_write_direct of pages first-last from their slots and the
// mapping state. Whatever changes a slot or the state a handler reads calls it; the run loop
// calls it on entry, for what the host, snapshots and tests change between runs.
void sync_direct_pages(int first = 0, int last = 15);

// Sound generator entry; the run loop calls it to catch up after forgiving a backlog.
void generate_samples(uint32_t weight);

// Z80 PIO of the MZ-800, whose interrupts the Z80 acknowledges and ends (RETI) itself.
struct Z80Pio {
    uint32_t state;     // mask 0-7, enabled 8, active high 9, mask next 14, direction next 15
    uint8_t vector;     // the vector byte
    uint8_t in_service; // bit 0 in service, bit 1 a request waiting
};
extern Z80Pio pio;

// ZX Spectrum 128K paging register (port 7FFDh); bits 0-2 select the RAM bank at C000h.
extern uint8_t zx128_paging;
