#include "machines/memory_map.h"

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "host/speed.h"
#include "host/trace.h"
#include "machines/gdg_video.h"
#include "machines/i8253.h"
#include "machines/keyboard.h"
#include "machines/mz_ports.h"
#include "machines/sound.h"
#include "roms/rom_images.h"

MainRam main_ram;
VideoRam video_ram;
bool upper_prohibited = false;
bool cg_japanese = false;
MachineKind machine_kind = MZ700_MODE;
uint8_t zx128_paging = 0;
std::array<PageReadFn, 16> page_read_slots; // filled at start-up (below) and by select_machine
std::array<PageWriteFn, 16> page_write;

StatusLine status_line;
int32_t status_cursor = 0;
uint8_t status_attr = 0x71;

namespace {

// Nonzero marks a port that no device answers; index: low 8 bits of the port.
std::array<uint8_t, 256> read_unanswered;
std::array<uint8_t, 256> write_unanswered;

bool in_open_bus = false;

// ---- Page handlers -------------------------------------------------------------------

int rd_ram(uint16_t a) { return main_ram[a]; }
void wr_ram(uint16_t a, uint8_t v) { main_ram[a] = v; }
void wr_ignore(uint16_t, uint8_t) {}
int rd_open_bus(uint16_t) { return open_bus(); }
int rd_mz_rom_low(uint16_t a) { return MZ_ROM[a]; }
int rd_cgrom(uint16_t a) { return cg_japanese ? MZ_JP_CGROM[a & 0x0FFF] : MZ_ROM[a]; }

// E000h-EFFFh: in MZ-700 mode the first sixteen addresses are the memory-mapped I/O.
int rd_mz_e000(uint16_t a)
{
    if (upper_prohibited)
        return open_bus();
    if (machine_kind == MZ700_MODE && a <= 0xE00F)
        return mz700_mmio_read(a);
    return MZ_ROM[a & 0x3FFF];
}

int rd_mz_f000(uint16_t a) { return upper_prohibited ? open_bus() : MZ_ROM[a & 0x3FFF]; }

void wr_mz_e000(uint16_t a, uint8_t v)
{
    if (machine_kind == MZ700_MODE && !upper_prohibited && a <= 0xE008)
        mz700_mmio_write(a, v);
}

int rd_ram_d000(uint16_t a) { return machine_kind == MZ700_MODE && upper_prohibited ? open_bus() : main_ram[a]; }
int rd_ram_upper(uint16_t a) { return upper_prohibited ? open_bus() : main_ram[a]; }

void wr_ram_d000(uint16_t a, uint8_t v)
{
    if (machine_kind == MZ800 || !upper_prohibited)
        main_ram[a] = v;
}

void wr_ram_upper(uint16_t a, uint8_t v)
{
    if (!upper_prohibited)
        main_ram[a] = v;
}

int rd_zx48_rom(uint16_t a) { return ZX48_ROM[a]; }
int rd_zx128_rom(uint16_t a) { return (zx128_paging & 0x10) ? ZX48_ROM[a] : ZX128_ROM0[a]; }
int rd_pmd_rom(uint16_t a) { return PMD85_ROM[a & 0x1FFF]; }

// The ULA holds the CPU off contended RAM while it fetches display data: on display
// lines 50-241, in the first 128 cycles, positions 2-7 of each group of eight wait
// 6, 5, 4, 3, 2 and 1 cycles.
void zx_contention_delay()
{
    const uint32_t t = uint32_t(-cpu.cycles);
    const uint32_t per_line = uint32_t(cpu.cycles_per_line);
    const uint32_t line = (t / per_line) % 312;
    const uint32_t pos = t % per_line;
    if (line >= 50 && line <= 241 && pos < 128 && (pos & 6) != 0)
        cpu.cycles -= int32_t(8 - (pos & 7));
}

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
uint8_t& zx128_bank_byte(uint16_t a)
{
    const uint32_t off = a & 0x3FFF;
    switch (zx128_paging & 7) {
    case 0: return main_ram[0xC000 + off];
    case 1: return main_ram[0x10000 + off];
    case 2: return main_ram[0x8000 + off];
    case 3: return main_ram[0x14000 + off];
    case 4: return video_ram[off];
    case 5: return main_ram[0x4000 + off];
    case 6: return video_ram[0x4000 + off];
    default: return main_ram[off];
    }
}

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

// ---- MZ-800 templates ----------------------------------------------------------------

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

void map_pages(int first, int last, PageReadFn read, PageWriteFn write)
{
    for (int page = first; page <= last; ++page) {
        page_read_slots[page] = read;
        page_write[page] = write;
    }
}

// Before any machine is selected every page floats.
const bool SLOTS_FLOATING = [] {
    page_read_slots.fill(rd_open_bus);
    page_write.fill(wr_ignore);
    return true;
}();

} // namespace

uint8_t open_bus()
{
    // A fetch from a page that itself reads as open bus would ask for its own byte again.
    if (in_open_bus)
        return 0xFF;
    in_open_bus = true;
    const uint16_t last = uint16_t(cpu.pc - 1);
    const uint8_t v = uint8_t(page_read_slots[last >> 12](last));
    in_open_bus = false;
    return v;
}

void map_system_page(int page, int entry)
{
    page_read_slots[page] = SYSTEM_TEMPLATE[entry].read;
    page_write[page] = SYSTEM_TEMPLATE[entry].write;
}

void map_ram_page(int page)
{
    page_read_slots[page] = RAM_TEMPLATE[page].read;
    page_write[page] = RAM_TEMPLATE[page].write;
}

bool page_writes_like_system(int page, int entry) { return page_write[page] == SYSTEM_TEMPLATE[entry].write; }

void select_machine(MachineKind kind)
{
    cpu.cycles_per_line = MACHINE_PROFILE[kind].cycles_per_line;
    apply_speed(kind);
    install_handler_set(kind);
    machine_kind = kind;
    switch (kind) {
    case ZX48:
    case ZX128:
        status_cursor = 0;
        status_print("ZX 48K ");
        if (kind == ZX128) {
            status_cursor = 2;
            status_print("12");
        }
        map_pages(0, 3, kind == ZX128 ? rd_zx128_rom : rd_zx48_rom, wr_ignore);
        map_pages(4, 7, rd_ram_contended, wr_ram_contended);
        map_pages(8, 11, rd_ram, wr_ram);
        if (kind == ZX128)
            map_pages(12, 15, rd_zx128_bank, wr_zx128_bank);
        else
            map_pages(12, 15, rd_ram, wr_ram);
        break;
    case PMD85:
        status_cursor = 0;
        status_print("PMD85.3");
        map_pages(0, 15, rd_pmd_rom, wr_ram);
        // The PMD 85 disk server is brought up here once it exists.
        break;
    default:
        break; // the MZ-800 banking ports set the pages
    }
}

void mz_start()
{
    gdg_start(); // display mode 0, no scroll, black border
    select_machine(MZ800);
    bank_write(0xE4);
}

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
        upper_prohibited = false;
        break;
    case 0xE5:
        upper_prohibited = true;
        break;
    case 0xE6:
        upper_prohibited = false;
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

void port_enable_read(const uint8_t* ports, int count)
{
    for (int i = 0; i < count; ++i)
        read_unanswered[ports[i]] = 0;
}

void port_enable_write(const uint8_t* ports, int count)
{
    for (int i = 0; i < count; ++i)
        write_unanswered[ports[i]] = 0;
}

void port_disable_all()
{
    read_unanswered.fill(1);
    write_unanswered.fill(1);
}

// The ZX Spectrum and PMD 85 port logic arrives with their hardware; until then their
// ports read FFh and writes are dropped.
namespace {

uint8_t port_read(uint16_t port)
{
    if (machine_kind > MZ800)
        return 0xFF;
    if (read_unanswered[port & 0xFF])
        return open_bus();
    return mz_port_read(port);
}

} // namespace

uint8_t io_read(uint16_t port)
{
    const uint8_t value = port_read(port);
    if (trace_active) {
        trace_append("IN  (", 5);
        trace_hex(port, 4, "),", 2);
        trace_hex(value, 2, "\r\n", 2);
    }
    return value;
}

void io_write(uint16_t port, uint8_t value)
{
    if (trace_active) {
        trace_append("OUT (", 5);
        trace_hex(port, 4, "),", 2);
        trace_hex(value, 2, "\r\n", 2);
    }
    if (machine_kind > MZ800 || write_unanswered[port & 0xFF])
        return;
    mz_port_write(port, value);
}

void status_print_byte(uint8_t ch)
{
    if (ch == 0x0D) {
        status_cursor = (status_cursor / 40) * 40;
    } else if (ch == 0x0A) {
        status_cursor += 40;
    } else {
        const int32_t column = status_cursor % 40;
        status_line.chars[column] = MZ_ROM[MZ_ASCII_TABLE + ch];
        status_line.attrs[column] = status_attr;
        ++status_cursor;
    }
}

void status_print(const char* text)
{
    for (; *text; ++text)
        status_print_byte(uint8_t(*text));
}

void status_hex(uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        status_print_byte(uint8_t("0123456789ABCDEF"[(value >> shift) & 0x0F]));
}

void chipset_reset()
{
    i8253_reset();
    sound_chips_reset(); // SN76489, AY-3-8912 and beeper, PMD 85 channels
    mz_ports_reset(); // 8255 port C, PIO, MZ-700 sound enable
    joystick_state = 0xFF;
    zx128_paging = 0;
    upper_prohibited = false;
    status_cursor = 0;
    status_attr = 0x71;
    for (int i = 0; i < 40; ++i)
        status_print_byte(' ');
    status_cursor = 0;
}
