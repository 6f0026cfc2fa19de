// The Sidecar's floppy drives for the MZ-800: a WD279x controller as the machine sees it, with four
// drives whose disks are Extended DSK image files on the card.
// The controller sits at ports D8h-DFh behind a data bus that inverts every bit: on D8h-DBh
// (command/status, track, sector, data) the machine writes and reads the complement of the
// controller's value. DCh selects the drive and motor, DDh the side, DEh the density (kept, never
// used) and DFh enables the interrupt; these four are not inverted.
// Drive n holds the image named by the first line of "/sidecar/fdN.cfg" (a card path; the line may
// end in LF or CR LF). Sectors are read and written in place in the image; the write-track command
// lays out a new track in place of the old one.
#pragma once

#include <cstdint>

// Clears the controller and attaches drives 0 to 3 from their configuration files.
void fdc_init();

// (Re)loads drive n (0-3) from "/sidecar/fdN.cfg": true when the drive now holds an image.
// A missing or unreadable configuration, or an image that cannot be opened, leaves it empty.
bool attach_drive(uint8_t drive);
// Puts the image at a host path (one named on the command line) into drive n for this run; the
// drive's configuration file stays as it is.
bool attach_drive_file(uint8_t drive, const char* host_path);

// Port accesses; `offset` is the low three bits of the port (0 = D8h .. 7 = DFh). Reads exist for
// offsets 0-3 only.
uint8_t fdc_read(uint8_t offset);
void fdc_write(uint8_t offset, uint8_t value);

// After every read of offsets 0-3: a transfer the program keeps polling for raises the
// controller's interrupt (bit 0 of the peripheral request mask) on the third read.
void fdc_poll();

// Flushes every attached image to the card: for the process's exit paths.
void fdc_flush();
