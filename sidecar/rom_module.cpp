#include "sidecar/rom_module.h"

#include <array>
#include <cstring>

#include "host/storage.h"

namespace {

constexpr uint32_t BLOCK_SIZE = 512;
constexpr uint32_t BLOCK_MASK = BLOCK_SIZE - 1;
constexpr uint32_t ADDRESS_MASK = 0xFFFFF; // 20 bits
constexpr uint32_t NO_BLOCK = 0xFFFFFFFF;

constexpr const char* MODULE_FILE = "/sidecar/pmd.rmm";

// The host's side: the block of the file last read and which file that is.
struct RomModuleHost {
    uint32_t block_tag; // file offset of the cached block, or NO_BLOCK
    std::array<uint8_t, BLOCK_SIZE> block;
    MediaHeld media;
    bool withdrawn; // a load found the module file missing or changed: no module until a reset
};

RomModuleHost module{NO_BLOCK, {}, {}, false};
// A module file named on the command line, a host path outside the card, for this run.
std::array<char, FS_HOST_PATH_SIZE> module_host_path{};

FsResult open_module(FsFile& file)
{
    return module_host_path[0] ? fs_open_host(&file, module_host_path.data(), FS_READ) : fs_open(&file, MODULE_FILE, FS_READ);
}

// The module file's name and fingerprint, taken when the machine is reset or a file inserted.
void hold_module()
{
    FsFile file{};
    module.media = MediaHeld{};
    module.withdrawn = false;
    if (open_module(file) == FS_OK)
        media_hold(module.media, module_host_path[0] ? module_host_path.data() : MODULE_FILE, module_host_path[0] != 0, file);
    fs_close(&file);
}

// Loads the block holding the address. A missing file leaves the tag as it is, so the next
// read tries again; the bytes past the end of a short file read as 0.
bool load_block()
{
    const uint32_t base = rom_module.address & ~BLOCK_MASK;
    if (base == module.block_tag)
        return true;
    FsFile file{};
    if (module.withdrawn || open_module(file) != FS_OK)
        return false;
    module.block.fill(0);
    module.block_tag = base;
    uint32_t done = 0;
    if (fs_seek(&file, base) == FS_OK)
        fs_read(&file, module.block.data(), BLOCK_SIZE, &done);
    fs_close(&file);
    return true;
}

void set_bits(uint32_t mask, uint32_t bits) { rom_module.address = (rom_module.address & ~mask) | (bits & mask); }

} // namespace

RomModuleRegisters rom_module{};
RomModuleMedia rom_module_media{};

void rom_module_reset()
{
    rom_module.address = 0;
    module.block_tag = NO_BLOCK;
    hold_module();
}

void rom_module_state_gather() { media_gather(module.media, rom_module_media.file, nullptr); }

void rom_module_state_rebuild(MediaReport report)
{
    rom_module.address &= ADDRESS_MASK;
    const MediaRecord& recorded = rom_module_media.file;
    if (media_same(recorded, module.media))
        return;
    module.block_tag = NO_BLOCK;
    FsFile file{};
    module.withdrawn = !media_reopen(recorded, file, FS_READ, module.media, report);
    fs_close(&file);
    if (!module.withdrawn) { // the recorded file is the module's again
        if (recorded.host)
            std::memcpy(module_host_path.data(), recorded.path.data(), module_host_path.size());
        else
            module_host_path[0] = '\0';
    }
}

uint8_t rom_module_read(uint8_t port)
{
    switch (port & 0x0F) {
    case 0x8: return load_block() ? module.block[rom_module.address & BLOCK_MASK] : 0;
    case 0x9: return uint8_t(rom_module.address);
    case 0xA: return uint8_t((rom_module.address >> 8) & 0x7F);
    default: return 0xFF;
    }
}

void rom_module_write(uint8_t port, uint8_t value)
{
    if (port == 0x6F) {
        set_bits(0xF8000, uint32_t(value) << 15);
        return;
    }
    switch (port & 0x0F) {
    case 0x9: set_bits(0x000FF, value); break;
    case 0xA: set_bits(0x07F00, uint32_t(value) << 8); break;
    case 0xB: {
        const uint32_t bit = (value >> 1) & 7;
        if (!(value & 0x80) && bit <= 6)
            set_bits(0x100u << bit, value & 1 ? ~0u : 0u);
        break;
    }
    default: break;
    }
    rom_module.address &= ADDRESS_MASK;
}

bool rom_module_insert_file(const char* host_path)
{
    const size_t n = std::strlen(host_path);
    if (n >= module_host_path.size())
        return false;
    std::memcpy(module_host_path.data(), host_path, n + 1);
    module.block_tag = NO_BLOCK;
    hold_module();
    return true;
}
