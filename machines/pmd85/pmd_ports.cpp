#include "machines/pmd85/pmd_ports.h"

#include <array>

#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/ppi8255.h"
#include "machines/sound/pmd_sound.h"
#include "roms/rom_images.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/rom_module.h"

namespace {

using ReadFn = uint8_t (*)(uint8_t port);
using WriteFn = void (*)(uint8_t port, uint8_t value);

uint8_t read_unanswered(uint8_t) { return 0xFF; }
uint8_t read_05(uint8_t) { return 0x05; }
uint8_t read_disk_data(uint8_t) { return pmd_disk_read(); }
uint8_t read_disk_status(uint8_t) { return pmd_disk_status(); }
uint8_t read_port_a(uint8_t) { return ppi.port_a; }
uint8_t read_keyboard(uint8_t) { return pmd_keyboard_column(ppi.port_a & 0x0F); }
uint8_t read_port_c(uint8_t) { return ppi.port_c; }

void write_ignored(uint8_t, uint8_t) {}
void write_disk_data(uint8_t, uint8_t v) { pmd_disk_write(v); }
void write_port_a(uint8_t, uint8_t v) { ppi.port_a = v; }

void write_port_c(uint8_t, uint8_t v)
{
    ppi.port_c = v;
    pmd_memory_map();
}

// The 8255 control word: a mode word sets whole halves of port C, a bit set/reset word one bit.
void write_ppi_control(uint8_t, uint8_t v)
{
    if (v & 0x80) {
        ppi_mode_word(v);
    } else {
        const uint8_t bit = uint8_t(1u << ((v >> 1) & 7));
        ppi.port_c = (v & 1) ? uint8_t(ppi.port_c | bit) : uint8_t(ppi.port_c & ~bit);
    }
    pmd_memory_map();
}

// FCh-FEh: the counts of channels 0-2.
void write_timer_count(uint8_t port, uint8_t v) { pmd_timer_count_write(port & 3, v); }

// FFh: bits 7-6 choose the counter; 11 (read-back) is ignored.
void write_timer_control(uint8_t, uint8_t v)
{
    if ((v >> 6) != 3)
        pmd_timer_control(v >> 6, v);
}

void write_timer3_count(uint8_t, uint8_t v) { pmd_timer_count_write(3, v); }

// 5Fh: only counter 0 of the second timer makes sound.
void write_timer3_control(uint8_t, uint8_t v)
{
    if ((v >> 6) == 0)
        pmd_timer_control(3, v);
}

// Ports x0h-xFh with x = 8-F: the mirrors of the 8255 and the ROM module interface.
constexpr bool mirrored(uint32_t port, uint32_t low_nibble) { return port >= 0x80 && (port & 0x0F) == low_nibble; }

constexpr std::array<ReadFn, 256> make_reads()
{
    std::array<ReadFn, 256> t{};
    for (uint32_t p = 0; p < 256; ++p) {
        ReadFn f = read_unanswered;
        if (mirrored(p, 4))
            f = read_port_a;
        else if (mirrored(p, 5))
            f = read_keyboard;
        else if (mirrored(p, 6))
            f = read_port_c;
        else if (mirrored(p, 8) || mirrored(p, 9) || mirrored(p, 0xA))
            f = rom_module_read;
        t[p] = f;
    }
    t[0x1D] = t[0x1F] = read_05;
    t[0x4C] = read_disk_data;
    t[0x4E] = read_disk_status;
    return t;
}

constexpr std::array<WriteFn, 256> make_writes()
{
    std::array<WriteFn, 256> t{};
    for (uint32_t p = 0; p < 256; ++p) {
        WriteFn f = write_ignored;
        if (mirrored(p, 4))
            f = write_port_a;
        else if (mirrored(p, 6))
            f = write_port_c;
        else if (mirrored(p, 7))
            f = write_ppi_control;
        else if (mirrored(p, 9) || mirrored(p, 0xA) || mirrored(p, 0xB))
            f = rom_module_write; // 8Bh takes only bit set/reset words
        t[p] = f;
    }
    t[0x4C] = write_disk_data;
    t[0x5C] = write_timer3_count;
    t[0x5F] = write_timer3_control;
    t[0x6F] = rom_module_write;
    t[0xFC] = t[0xFD] = t[0xFE] = write_timer_count;
    t[0xFF] = write_timer_control;
    return t;
}

constexpr std::array<ReadFn, 256> PORT_READS = make_reads();
constexpr std::array<WriteFn, 256> PORT_WRITES = make_writes();

} // namespace

int rd_pmd_rom(uint16_t a) { return PMD85_ROM[a & 0x1FFF]; }

namespace {

// The 8 KiB ROM repeats; writes under it go to RAM (wr_ram, plain everywhere).
const uint8_t* pmd_read_bytes(PageReadFn handler, uint32_t base)
{
    return handler == rd_pmd_rom ? &PMD85_ROM[base & 0x1FFF] : nullptr;
}

uint8_t* pmd_write_bytes(PageWriteFn, uint32_t) { return nullptr; }

} // namespace

void install_pmd_page_bytes() { install_page_bytes({pmd_read_bytes, pmd_write_bytes}); }

uint8_t pmd_port_read(uint16_t port) { return PORT_READS[port & 0xFF](uint8_t(port)); }

void pmd_port_write(uint16_t port, uint8_t value) { PORT_WRITES[port & 0xFF](uint8_t(port), value); }

void pmd_memory_map()
{
    const bool rom = ppi.port_c & 0x10;
    const bool rom_everywhere = ppi.port_c & 0x20;
    if (!rom) {
        map_pages(0, 15, rd_ram, wr_ram);
    } else if (rom_everywhere) {
        map_pages(0, 15, rd_pmd_rom, wr_ram);
    } else {
        map_pages(0, 13, rd_ram, wr_ram);
        map_pages(14, 15, rd_pmd_rom, wr_ram);
    }
}
