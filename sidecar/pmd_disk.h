// The PMD 85 disk server: four virtual disk drives and a small file service on the card, reached
// through a byte stream. The PMD 85 writes a command frame to port 4Ch (the sync byte AAh, a
// command letter, its parameters and a checksum that makes the XOR of letter to checksum 0) and
// reads the answer from port 4Ch byte by byte; port 4Eh is the status byte, whose bit 3 a data
// write sets, a data read clears and every status read inverts, so a polling program sees
// either level within two reads.
// A drive holds a flat image of 128-byte records, 36 to a track, named by the first line of
// "/sidecar/pmdfdN.cfg" (N = 0-3). Every record access opens and closes the image.
// The service answers at once: there is no transfer timing, and the status bit only toggles.
#pragma once

#include <cstdint>

// Run each time the PMD 85 is selected: reloads the four image paths, drive 0, the protocol
// waiting for the sync byte, the status byte 0.
void pmd_disk_init();

// Port 4Ch: the next byte of a frame from the machine (sets status bit 3), and the next byte
// of the answer to it (clears status bit 3).
void pmd_disk_write(uint8_t value);
uint8_t pmd_disk_read();
// Port 4Eh: the status byte; bit 3 is inverted after it has been read.
uint8_t pmd_disk_status();

// The image at a host path (one named on the command line) is drive 0's for this run; the
// drive's configuration file stays as it is. False for a path too long to keep.
bool pmd_disk_insert_file(const char* host_path);
