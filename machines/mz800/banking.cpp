#include "machines/mz800/banking.h"

#include <array>
#include <cstddef>

#include "cpu/machine_interface.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/mz700_mmio.h"
#include "machines/mz800/mz800.h"
#include "machines/status_line.h"
#include "roms/rom_images.h"

MzBanking banking{};
bool cg_japanese = false;

namespace {

constexpr uint32_t VRAM700_MASK = 0x1FFF; // the MZ-700 areas are the first 8 KiB of VideoRam

// ---- Page handlers -------------------------------------------------------------------

int rd_mz_rom_low(uint16_t a) { return MZ_ROM[a]; }
int rd_cgrom(uint16_t a) { return cg_japanese ? MZ_JP_CGROM[a & 0x0FFF] : MZ_ROM[a]; }

// E000h-EFFFh: in MZ-700 mode the first sixteen addresses are the memory-mapped I/O.
int rd_mz_e000(uint16_t a)
{
    if (banking.upper_prohibited)
        return open_bus();
    if (machine_kind == MZ700_MODE && a <= 0xE00F)
        return mz700_mmio_read(a);
    return MZ_ROM[a & 0x3FFF];
}

int rd_mz_f000(uint16_t a) { return banking.upper_prohibited ? open_bus() : MZ_ROM[a & 0x3FFF]; }

void wr_mz_e000(uint16_t a, uint8_t v)
{
    if (machine_kind == MZ700_MODE && !banking.upper_prohibited && a <= 0xE008)
        mz700_mmio_write(a, v);
}

int rd_ram_d000(uint16_t a) { return machine_kind == MZ700_MODE && banking.upper_prohibited ? open_bus() : main_ram[a]; }
int rd_ram_upper(uint16_t a) { return banking.upper_prohibited ? open_bus() : main_ram[a]; }

void wr_ram_d000(uint16_t a, uint8_t v)
{
    if (machine_kind == MZ800 || !banking.upper_prohibited)
        main_ram[a] = v;
}

void wr_ram_upper(uint16_t a, uint8_t v)
{
    if (!banking.upper_prohibited)
        main_ram[a] = v;
}

// ---- Direct bytes ------------------------------------------------------------------
// Which handlers are plain in the current state: the prohibit state turns the upper area into
// open bus (and ignored writes), MZ-700 mode puts the memory-mapped I/O at E000h and the
// display's wait states on C000h-DFFFh.

const uint8_t* mz_read_bytes(PageReadFn handler, uint32_t base)
{
    const bool mz700 = machine_kind == MZ700_MODE;
    if (handler == rd_mz_rom_low)
        return &MZ_ROM[base];
    if (handler == rd_cgrom)
        return cg_japanese ? MZ_JP_CGROM.data() : &MZ_ROM[base];
    if (handler == rd_vram700 || handler == rd_pcg700)
        return mz700 ? nullptr : &main_ram[base];
    if (handler == rd_ram_d000)
        return mz700 && banking.upper_prohibited ? nullptr : &main_ram[base];
    if (banking.upper_prohibited)
        return nullptr;
    if (handler == rd_ram_upper)
        return &main_ram[base];
    if (handler == rd_mz_f000 || (handler == rd_mz_e000 && !mz700))
        return &MZ_ROM[base & 0x3FFF];
    return nullptr;
}

uint8_t* mz_write_bytes(PageWriteFn handler, uint32_t base)
{
    const bool mz700 = machine_kind == MZ700_MODE;
    if (handler == wr_vram700 || handler == wr_pcg700)
        return mz700 ? nullptr : &main_ram[base];
    if (handler == wr_ram_d000)
        return mz700 && banking.upper_prohibited ? nullptr : &main_ram[base];
    if (handler == wr_ram_upper)
        return banking.upper_prohibited ? nullptr : &main_ram[base];
    return nullptr;
}

// The debugger's access where there are no direct bytes: the MZ-700 screen without the display's
// waits, the MZ-800 planes through the GDG's formats (its handlers only read and write them);
// the memory-mapped I/O, open bus and ROM hold nothing the debugger can change.
bool mz_peek(PageReadFn handler, uint16_t a, uint8_t& value)
{
    if (handler == rd_vram_lo || handler == rd_vram_hi)
        value = uint8_t(handler(a));
    else if ((handler == rd_vram700 && !banking.upper_prohibited) || handler == rd_pcg700)
        value = video_ram[a & VRAM700_MASK];
    else
        return false;
    return true;
}

bool mz_poke(PageWriteFn handler, uint16_t a, uint8_t value)
{
    if (handler == wr_vram_lo || handler == wr_vram_hi) {
        handler(a, value);
    } else if ((handler == wr_vram700 && !banking.upper_prohibited) || handler == wr_pcg700) {
        video_ram[a & VRAM700_MASK] = value;
        mz700_text_written(a & VRAM700_MASK); // the picture shows it as it would a program's write
    } else {
        return false;
    }
    return true;
}

// ---- Templates -----------------------------------------------------------------------

struct PageEntry {
    PageReadFn read;
    PageWriteFn write;
};

// System template: entries 0-15 for MZ700_MODE, 16-31 for MZ800.
constexpr std::array<PageEntry, 32> SYSTEM_TEMPLATE = {{
    // MZ700_MODE
    {rd_mz_rom_low, wr_ignore}, {rd_cgrom, wr_ignore},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore},
    {rd_pcg700, wr_pcg700}, {rd_vram700, wr_vram700}, {rd_mz_e000, wr_mz_e000}, {rd_mz_f000, wr_ignore},
    // MZ800
    {rd_mz_rom_low, wr_ignore}, {rd_cgrom, wr_ignore},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore},
    {rd_vram_lo, wr_vram_lo}, {rd_vram_lo, wr_vram_lo}, {rd_vram_hi, wr_vram_hi}, {rd_vram_hi, wr_vram_hi},
    {rd_open_bus, wr_ignore}, {rd_open_bus, wr_ignore}, {rd_mz_f000, wr_ignore}, {rd_mz_f000, wr_ignore},
}};

constexpr std::array<PageEntry, 16> RAM_TEMPLATE = [] {
    std::array<PageEntry, 16> t{};
    for (int page = 0; page < 13; ++page)
        t[page] = {rd_ram, wr_ram};
    t[13] = {rd_ram_d000, wr_ram_d000};
    t[14] = {rd_ram_upper, wr_ram_upper};
    t[15] = {rd_ram_upper, wr_ram_upper};
    return t;
}();

} // namespace

int rd_vram700(uint16_t address)
{
    if (machine_kind != MZ700_MODE)
        return main_ram[address];
    mz700_vram_read_wait();
    return banking.upper_prohibited ? open_bus() : video_ram[address & VRAM700_MASK];
}

void wr_vram700(uint16_t address, uint8_t value)
{
    if (machine_kind != MZ700_MODE) {
        main_ram[address] = value;
        return;
    }
    if (banking.upper_prohibited)
        return;
    mz700_vram_write_wait();
    video_ram[address & VRAM700_MASK] = value;
    mz700_text_written(address & VRAM700_MASK);
}

int rd_pcg700(uint16_t address)
{
    if (machine_kind != MZ700_MODE)
        return main_ram[address];
    mz700_vram_read_wait();
    return video_ram[address & VRAM700_MASK];
}

void wr_pcg700(uint16_t address, uint8_t value)
{
    if (machine_kind != MZ700_MODE) {
        main_ram[address] = value;
        return;
    }
    mz700_vram_write_wait();
    video_ram[address & VRAM700_MASK] = value;
    mz700_text_written(address & VRAM700_MASK);
}

void map_system_page(int page, int entry)
{
    banking.page_map[size_t(page)] = uint8_t(entry);
    map_pages(page, page, SYSTEM_TEMPLATE[entry].read, SYSTEM_TEMPLATE[entry].write);
}

void map_ram_page(int page)
{
    banking.page_map[size_t(page)] = MZ_PAGE_RAM;
    map_pages(page, page, RAM_TEMPLATE[page].read, RAM_TEMPLATE[page].write);
}

void install_mz_page_bytes() { install_page_bytes({mz_read_bytes, mz_write_bytes, mz_peek, mz_poke}); }

void set_upper_prohibited(bool prohibited)
{
    banking.upper_prohibited = prohibited;
    sync_direct_pages();
}

void mz_page_map_apply()
{
    for (int page = 0; page < 16; ++page) {
        const uint8_t entry = banking.page_map[size_t(page)];
        if (entry < SYSTEM_TEMPLATE.size())
            map_system_page(page, entry);
        else
            map_ram_page(page);
    }
}

bool page_writes_like_system(int page, int entry) { return machine_page_write(page) == SYSTEM_TEMPLATE[entry].write; }

void bank_write(uint8_t port)
{
    switch (port) {
    case 0xE0:
        map_ram_page(0);
        map_ram_page(1);
        break;
    case 0xE1:
        for (int page = 13; page <= 15; ++page)
            map_ram_page(page);
        break;
    case 0xE2:
        map_system_page(0, 0);
        break;
    case 0xE3:
        if (machine_kind == MZ700_MODE)
            map_system_page(13, 13);
        map_system_page(14, 14);
        map_system_page(15, 15);
        break;
    case 0xE4:
        map_system_page(0, 0);
        for (int page = 1; page <= 13; ++page)
            map_ram_page(page);
        if (machine_kind == MZ800) {
            map_system_page(1, MZ800_ENTRIES + 1);
            for (int page = 8; page <= 11; ++page)
                map_system_page(page, MZ800_ENTRIES + page);
        } else {
            map_system_page(13, 13);
        }
        map_system_page(14, 14);
        map_system_page(15, 15);
        set_upper_prohibited(false);
        break;
    case 0xE5:
        set_upper_prohibited(true);
        break;
    case 0xE6:
        set_upper_prohibited(false);
        break;
    default:
        break;
    }
}

uint8_t bank_read(uint8_t port)
{
    const uint8_t value = open_bus();
    if (port == 0xE0) {
        map_system_page(1, 1); // character generator, writes ignored
        if (machine_kind == MZ700_MODE)
            map_system_page(12, 12);
        else
            for (int page = 8; page <= 11; ++page)
                map_system_page(page, MZ800_ENTRIES + page);
    } else if (port == 0xE1) {
        map_ram_page(1);
        if (machine_kind == MZ700_MODE)
            map_ram_page(12);
        else
            for (int page = 8; page <= 11; ++page)
                map_ram_page(page);
    }
    return value;
}

void display_mode_write(uint8_t value)
{
    const bool to_mz700 = value & DMD_MZ700;

    // The MZ-700 screen at D000h follows the monitor ROM's upper area mapping; the VRAM
    // windows of the native mode and the character RAM at C000h give way to RAM.
    if (to_mz700 && page_writes_like_system(14, 14))
        map_system_page(13, 13);
    else
        map_ram_page(13);
    if (machine_kind == MZ700_MODE && !to_mz700)
        map_ram_page(12);
    if (machine_kind == MZ800 && to_mz700)
        for (int page = 8; page <= 11; ++page)
            map_ram_page(page);

    status_line.cursor = 0;
    status_print("MZ ");
    status_hex(value, 2);
    status_print(cg_japanese ? "JP" : "  ");

    gdg_display_mode(value);
    select_machine(to_mz700 ? MZ700_MODE : MZ800);
}
