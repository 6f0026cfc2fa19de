#include "host/state_registry.h"

#include <algorithm>
#include <array>

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "host/frame.h"
#include "host/headless.h"
#include "host/irq_sources.h"
#include "host/media_state.h"
#include "host/tape_deck.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/banking.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/i8253.h"
#include "machines/mz800/mz800.h"
#include "machines/mz800/pio.h"
#include "machines/picture.h"
#include "machines/pmd85/pmd_ports.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"
#include "machines/status_line.h"
#include "machines/zx/tape.h"
#include "machines/zx/zx_memory.h"
#include "machines/zx/zx_video.h"
#include "sidecar/fdc.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/rom_module.h"
#include "sidecar/sidecar.h"

namespace {

template <typename T>
constexpr StateEntry entry(const char (&tag)[5], uint16_t version, T& object, bool beside = false)
{
    return {{tag[0], tag[1], tag[2], tag[3]}, version, reinterpret_cast<uint8_t*>(&object), uint32_t(sizeof object), beside};
}

template <typename T>
constexpr StateEntry beside(const char (&tag)[5], uint16_t version, T& object)
{
    return entry(tag, version, object, true);
}

const std::array ENTRIES = {
    // The processor, the machine and where the beam is.
    entry("CPU ", 2, cpu),
    entry("KIND", 1, machine_kind),
    entry("FPOS", 1, frame_pos),
    entry("IRQS", 1, irq_sources),
    // Memory and its maps.
    entry("MRAM", 1, main_ram),
    entry("VRAM", 1, video_ram),
    entry("MZBK", 1, banking),
    entry("MZCG", 1, cg_japanese),
    entry("Z128", 1, zx128_paging),
    // The picture: what every machine shares, the MZ-800's GDG, the ZX Spectrum's ULA, the
    // status line.
    entry("PICT", 1, picture_state),
    entry("GDG ", 1, gdg),
    entry("ZXVI", 1, zx_video),
    entry("STLN", 2, status_line),
    // The MZ-800's i8253 and PIO, the 8255 of the MZ-800 and the PMD 85.
    entry("PIT ", 1, pit),
    entry("PIO ", 1, pio),
    entry("PPI ", 1, ppi),
    // Keyboard and joystick, and the keys typed over them.
    entry("KEYS", 1, key_matrix),
    entry("KTYP", 1, typed_keys),
    // Sound: the chips and the generator (its filter is added below).
    entry("PSG ", 1, psg),
    entry("AY  ", 1, ay),
    entry("BEEP", 1, beeper_bits),
    entry("PMDS", 1, pmd_sound),
    entry("SGEN", 1, sound_gen),
    // Beside the machine (see StateEntry): the samples made but not yet played and the run
    // loop's pacing, with the simulated clock below.
    beside("RING", 1, sound_ring),
    beside("RNGW", 1, ring_write),
    beside("RNGR", 1, ring_read),
    beside("PCRD", 1, cycle_credit),
    beside("PTCK", 1, last_ticks),
    // The Sidecar's registers, and which files its drives hold (their contents are media).
    entry("SCIF", 1, sidecar),
    entry("SCFL", 1, sidecar_media),
    entry("FDC ", 1, fdc),
    entry("FDDR", 1, fdc_media),
    entry("RDSC", 1, ramdisc),
    entry("RDFL", 1, ramdisc_media),
    entry("QDSK", 1, quick_disk),
    entry("QDIM", 1, quick_disk_media),
    entry("PMDD", 1, pmd_disk),
    entry("PMDI", 1, pmd_disk_media),
    entry("RMOD", 1, rom_module),
    entry("RMFL", 1, rom_module_media),
    // The ZX Spectrum's tape position and which tape is in (the tape itself is media).
    entry("CASS", 1, cassette),
    entry("TAPE", 1, tape_media),
};

static_assert(sizeof(std::atomic<uint32_t>) == 4 && std::atomic<uint32_t>::is_always_lock_free);

// The filters' block is found at run time (its type is the sound generator's own).
std::array<StateEntry, ENTRIES.size() + 2> all_entries()
{
    std::array<StateEntry, ENTRIES.size() + 2> all{};
    std::copy(ENTRIES.begin(), ENTRIES.end(), all.begin());
    const std::span<uint8_t> filter = sound_filter_bytes();
    all[ENTRIES.size()] = {{'B', 'W', 'L', 'P'}, 1, filter.data(), uint32_t(filter.size()), false};
    all[ENTRIES.size() + 1] = beside("HCLK", 1, headless::simulated_clock());
    return all;
}

} // namespace

std::span<const StateEntry> state_entries()
{
    static const std::array<StateEntry, ENTRIES.size() + 2> ALL = all_entries();
    return ALL;
}

void state_gather()
{
    media_state_gather();
}

void state_select(MachineKind kind) { select_machine(kind); }

void state_rebuild()
{
    media_state_rebuild();
    if (is_mz800_family(machine_kind)) {
        mz_page_map_apply();
        mz700_text_stale();
    } else if (machine_kind == ZX128) {
        zx128_paging_write(zx128_paging);
    } else if (machine_kind == PMD85) {
        pmd_memory_map();
    }
    sync_direct_pages();
}

size_t state_blocks_size()
{
    size_t n = 0;
    for (const StateEntry& e : state_entries())
        n += e.beside ? 0 : e.size;
    return n;
}

void state_blocks_read(uint8_t* out)
{
    state_gather();
    for (const StateEntry& e : state_entries())
        if (!e.beside)
            out = std::copy_n(e.data, e.size, out);
}

void state_blocks_write(const uint8_t* blocks)
{
    const uint8_t* p = blocks;
    for (const StateEntry& e : state_entries()) {
        if (e.data == reinterpret_cast<uint8_t*>(&machine_kind))
            state_select(MachineKind(*p));
        p += e.beside ? 0 : e.size;
    }
    for (const StateEntry& e : state_entries()) {
        if (!e.beside) {
            std::copy_n(blocks, e.size, e.data);
            blocks += e.size;
        }
    }
    state_rebuild();
}
