// The PMD 85 as the rest of the emulator sees it: how it is selected. Everything else of the
// machine stays inside machines/pmd85/.
#pragma once

// Names the machine on the status line and installs its memory map (the ROM read everywhere,
// writes to RAM, so that execution starts in the monitor at 0000h), its ports, its sound (the
// timer channels and the port C tone bits) and its picture, and brings up the disk server.
void pmd85_select();

// The chipset reset's part of the PMD 85: the ROM module's address and cache.
void pmd85_reset();

// The keys that type each character (pmd_keys.cpp).
struct TypingTable;
extern const TypingTable PMD_TYPING;
