// ROM dumps the user owns can replace the built-in images: a file under "/sidecar/roms/"
// with exactly the size of an image takes its place at start-up; other sizes are ignored.
#pragma once

// Returns how many images were replaced.
int load_rom_overrides();
