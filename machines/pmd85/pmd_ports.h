// The PMD 85's I/O ports. Only the low eight address bits are decoded:
//   1Dh, 1Fh        read 05h
//   4Ch, 4Eh        the disk server's data and status (sidecar/pmd_disk.h)
//   5Ch, 5Fh        counter 0 and control word of the second i8253 (sound channel 3)
//   6Fh             ROM module address bits 15-19 (sidecar/rom_module.h)
//   x4h-x7h         the system 8255 (x = 8-F): port A the keyboard column, port B the keys of
//                   that column, port C the tone bits (0-2) and the memory map (4-5), control
//   x8h-xBh         the ROM module interface (x = 8-F)
//   FCh-FFh         the i8253 of channels 0-2: three counts and the control word
// Unanswered reads give FFh; other writes are dropped.
// The memory map follows port C: bits 4 and 5 set read the 8 KiB ROM (repeated) everywhere,
// bit 4 alone reads it at E000h-FFFFh and RAM below, bit 4 clear reads RAM everywhere. Writes
// always reach RAM.
// Not modelled: 8255 modes 1 and 2, the 8255 port B and C input directions, the i8253's
// read-back and gate inputs, the serial interface and tape.
#pragma once

#include <cstdint>

uint8_t pmd_port_read(uint16_t port);
void pmd_port_write(uint16_t port, uint8_t value);

// The page handler of the ROM: the 8 KiB image repeated over the page.
int rd_pmd_rom(uint16_t address);

// Tells the shared page slots that the ROM pages are plain memory.
void install_pmd_page_bytes();

// Sets the page slots from the memory map bits of port C.
void pmd_memory_map();
