#include "host/rom_overrides.h"

#include <cstdint>

#include "host/storage.h"
#include "roms/rom_images.h"

namespace {

struct RomFile {
    const char* path;
    uint8_t* image;
    uint32_t size;
};

// Reads the whole file into the image only when its size matches exactly.
bool replace_image(const RomFile& rom)
{
    FsFile file{};
    if (fs_open(&file, rom.path, FS_READ) != FS_OK)
        return false;
    bool replaced = false;
    if (file.size == rom.size) {
        static uint8_t buffer[16384];
        uint32_t done = 0;
        if (fs_read(&file, buffer, rom.size, &done) == FS_OK && done == rom.size) {
            for (uint32_t i = 0; i < rom.size; ++i)
                rom.image[i] = buffer[i];
            replaced = true;
        }
    }
    fs_close(&file);
    return replaced;
}

} // namespace

int load_rom_overrides()
{
    const RomFile ROMS[] = {
        {"/sidecar/roms/mz800.rom", MZ_ROM.data(), uint32_t(MZ_ROM.size())},
        {"/sidecar/roms/mz800jp.cg", MZ_JP_CGROM.data(), uint32_t(MZ_JP_CGROM.size())},
        {"/sidecar/roms/zx48.rom", ZX48_ROM.data(), uint32_t(ZX48_ROM.size())},
        {"/sidecar/roms/zx128-0.rom", ZX128_ROM0.data(), uint32_t(ZX128_ROM0.size())},
        {"/sidecar/roms/pmd85.rom", PMD85_ROM.data(), uint32_t(PMD85_ROM.size())},
    };
    int replaced = 0;
    for (const RomFile& rom : ROMS)
        replaced += replace_image(rom) ? 1 : 0;
    return replaced;
}
