// ZX Spectrum snapshots. A program is started from a .z80 or .sna file instead of tape: the
// loader trap reads the file name from where the 48K ROM keeps the name typed after LOAD
// (5CCEh, closed by a double quote) and loads the file. F10 on the 128K saves it as a .z80
// file. The layouts are the published .z80 (versions 1 to 3) and 48K .sna formats.
// A damaged file loads nothing: the whole file is checked before the machine is touched, and
// standard error says which file and why.
#pragma once

#include <cstdint>

#include "host/storage.h"

// The main loop's ZX loader trap, with the ZX 48K selected and the cycle counter at 0.
void zx_load_trap();
// Whether the name typed after LOAD (or put there by zxloader.cfg) is a snapshot's: the trap
// is served only then.
bool zx_names_snapshot();

// A snapshot named on the command line (a host path, outside the card), into the machine the
// loader trap leaves; false, with the reason on standard error, when it loads nothing.
bool zx_load_file(const char* host_path, bool z80);
// Why a snapshot at a host path cannot be loaded, or null: the whole file is checked, the machine
// is not touched.
const char* zx_snapshot_problem(const char* host_path, bool z80);

// "/sidecar/zxloader.cfg" as the ZX 48K starts: its first line, at most 250 bytes, becomes the
// typed name at 5CCEh. True when the loader trap is to follow.
bool zx_loader_file();

// The ZX 128K into an open file: an 86-byte version 3 header and the eight banks uncompressed.
// False when the file could not be written whole.
bool z80_save(FsFile* file);

// The name area and the position of the ROM's tape loader in it.
constexpr uint16_t ZX_NAME_AREA = 0x5CCE;
constexpr uint16_t ZX_NAME_AREA_END = 0x5D3E;
