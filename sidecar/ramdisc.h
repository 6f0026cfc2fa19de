// The Sidecar's RAM disc for the MZ-800: up to 16 MiB of byte-addressed memory behind I/O ports,
// kept in the card file "/sidecar/ramdisc.dat" so that it survives from one run to the next.
// Two port sets reach the same memory through one address register:
//   E9h bank (write), EAh data (read/write), EBh address (write; the high byte comes from the
//   upper half of the port address, as OUT (C),r puts B there), ECh probe counter (read);
//   F8h address high (write) / address and bank reset (read), F9h data (read), FAh data (write).
// Every data access moves the address on by one; the address wraps within its 64 KiB bank.
// Only one 512-byte block of the file is held in memory; a changed block goes back to the file
// 50 frames after its last change, when another block is needed, or on ramdisc_flush.
#pragma once

#include <cstdint>

#include "sidecar/media_record.h"

// Opens the file (which must exist and hold at least 64 KiB) and sizes the memory from it: the
// largest power-of-two number of 64 KiB banks that fits, at most 256. A missing or short file
// leaves the RAM disc disabled: writes are ignored and data reads give FFh.
void ramdisc_init();

// Port accesses with the full 16-bit port address (the decoder passes the ports listed above).
uint8_t ramdisc_read(uint16_t port);
void ramdisc_write(uint16_t port, uint8_t value);

// Once per MZ-800 frame (scan line 280): runs the write-back countdown.
void ramdisc_tick();

// The registers a program sees, kept with a saved machine (the memory itself is the file).
struct RamDiscRegisters {
    uint16_t address; // within the bank; wraps without carrying into the bank
    uint8_t bank;
    uint8_t probe; // next value of port ECh; never reset
};
extern RamDiscRegisters ramdisc;
// The file the memory is kept in.
struct RamDiscMedia {
    MediaRecord file;
};
extern RamDiscMedia ramdisc_media;

// Before a save: the file held, into ramdisc_media.
void ramdisc_state_gather();
// After a load: the file the state recorded is the memory again (missing or changed: reported,
// and the RAM disc is absent as without a file); the bank is kept within the file's size.
void ramdisc_state_rebuild(MediaReport report);

// Writes a changed block back at once and syncs the file: for the process's exit paths, so that a
// change made less than 50 frames ago is not lost.
void ramdisc_flush();
