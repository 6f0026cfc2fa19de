// The 8255 PPI's output latches. The MZ-800 and the PMD 85 each have an 8255 and only one of
// them runs at a time, so they share the latches; each machine's port decoder gives the bits
// their meaning (the MZ-800's keyboard strobe and timer gates, the PMD 85's keyboard column,
// tone bits and memory map).
#pragma once

#include <cstdint>

struct Ppi8255 {
    uint8_t port_a;
    uint8_t port_c;
};
extern Ppi8255 ppi;

// A mode word (bit 7 set): the upper half of port C becomes F0h if bit 3 is set, else 00h;
// the lower half 0Fh if bit 0 is set, else 00h.
void ppi_mode_word(uint8_t value);
