// The ZX Spectrum's memory map: the 48K ROM (or the 128K's two ROMs) at 0000h-3FFFh, RAM that
// the ULA contends at 4000h-7FFFh, plain RAM above, and on the 128K the RAM bank chosen by the
// paging register at C000h-FFFFh.
#include "machines/zx/zx_memory.h"

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h" // zx128_paging
#include "machines/memory.h"
#include "machines/zx/zx.h"
#include "roms/rom_images.h"

uint8_t zx128_paging = 0;

namespace {

int rd_zx48_rom(uint16_t a) { return ZX48_ROM[a]; }
int rd_zx128_rom(uint16_t a) { return (zx128_paging & 0x10) ? ZX48_ROM[a] : ZX128_ROM0[a]; }

int rd_ram_contended(uint16_t a)
{
    zx_contention_delay();
    return main_ram[a];
}

void wr_ram_contended(uint16_t a, uint8_t v)
{
    zx_contention_delay();
    main_ram[a] = v;
}

// The ZX 128K's RAM bank at C000h, by bits 0-2 of the paging register; odd banks are contended.
uint8_t& zx128_bank_byte(uint16_t a) { return zx128_bank(zx128_paging & 7)[a & 0x3FFF]; }

int rd_zx128_bank(uint16_t a)
{
    if (zx128_paging & 1)
        zx_contention_delay();
    return zx128_bank_byte(a);
}

void wr_zx128_bank(uint16_t a, uint8_t v)
{
    if (zx128_paging & 1)
        zx_contention_delay();
    zx128_bank_byte(a) = v;
}

// The ROMs and the uncontended banks at C000h are plain; 4000h-7FFFh never is.
const uint8_t* zx_read_bytes(PageReadFn handler, uint32_t base)
{
    if (handler == rd_zx48_rom)
        return &ZX48_ROM[base];
    if (handler == rd_zx128_rom)
        return (zx128_paging & 0x10) ? &ZX48_ROM[base] : &ZX128_ROM0[base];
    if (handler == rd_zx128_bank && !(zx128_paging & 1))
        return &zx128_bank_byte(uint16_t(base));
    return nullptr;
}

uint8_t* zx_write_bytes(PageWriteFn handler, uint32_t base)
{
    if (handler == wr_zx128_bank && !(zx128_paging & 1))
        return &zx128_bank_byte(uint16_t(base));
    return nullptr;
}

// The debugger sees contended RAM and the contended banks without the ULA's delay.
bool zx_peek(PageReadFn handler, uint16_t a, uint8_t& value)
{
    if (handler == rd_ram_contended)
        value = main_ram[a];
    else if (handler == rd_zx128_bank)
        value = zx128_bank_byte(a);
    else
        return false;
    return true;
}

bool zx_poke(PageWriteFn handler, uint16_t a, uint8_t value)
{
    if (handler == wr_ram_contended)
        main_ram[a] = value;
    else if (handler == wr_zx128_bank)
        zx128_bank_byte(a) = value;
    else
        return false;
    return true;
}

} // namespace

// The ULA holds the CPU off contended RAM while it fetches display data: on display
// lines 50-241, in the first 128 cycles, positions 2-7 of each group of eight wait
// 6, 5, 4, 3, 2 and 1 cycles.
void zx_contention_delay()
{
    const LinePosition at = zx_frame_position(uint32_t(-cpu.cycles), uint32_t(cpu.cycles_per_line));
    const uint32_t line = at.lines;
    const uint32_t pos = at.pos;
    if (line >= 50 && line <= 241 && pos < 128 && (pos & 6) != 0)
        cpu.cycles -= int32_t(8 - (pos & 7));
}

uint8_t* zx128_bank(int n)
{
    constexpr uint32_t MAIN_RAM_BANK[8] = {0xC000, 0x10000, 0x8000, 0x14000, 0, 0x4000, 0, 0x0000};
    if (n == 4 || n == 6)
        return &video_ram[n == 4 ? 0x0000 : 0x4000];
    return &main_ram[MAIN_RAM_BANK[n & 7]];
}

void zx128_paging_write(uint8_t value)
{
    zx128_paging = value;
    sync_direct_pages(0, 3);
    sync_direct_pages(12, 15);
}

void zx_map_memory(MachineKind kind)
{
    install_page_bytes({zx_read_bytes, zx_write_bytes, zx_peek, zx_poke});
    map_pages(0, 3, kind == ZX128 ? rd_zx128_rom : rd_zx48_rom, wr_ignore);
    map_pages(4, 7, rd_ram_contended, wr_ram_contended);
    map_pages(8, 11, rd_ram, wr_ram);
    if (kind == ZX128)
        map_pages(12, 15, rd_zx128_bank, wr_zx128_bank);
    else
        map_pages(12, 15, rd_ram, wr_ram);
}
