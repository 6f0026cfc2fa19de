#include "host/state_registry.h"

#include <algorithm>
#include <array>

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "host/frame.h"
#include "host/headless.h"
#include "host/irq_sources.h"
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
#include "host/media_state.h"
#include "host/tape_deck.h"
#include "sidecar/fdc.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/rom_module.h"
#include "sidecar/sidecar.h"

namespace {

// The MZ-800's memory map, which the machine keeps as page handlers.
std::array<uint8_t, 16> mz_page_map{};

template <typename T>
constexpr StateEntry entry(const char (&tag)[5], uint16_t version, T& object)
{
    return {{tag[0], tag[1], tag[2], tag[3]}, version, reinterpret_cast<uint8_t*>(&object), uint32_t(sizeof object)};
}

const std::array ENTRIES = {
    // The processor, the machine and the frame.
    entry("CPU ", 1, cpu),
    entry("KIND", 1, machine_kind),
    entry("LNPH", 1, mz_line_phase),
    entry("RAST", 1, raster_line),
    entry("FRMS", 1, frames_completed),
    entry("IRQS", 1, irq_sources),
    entry("PCRD", 1, cycle_credit), // with the headless clock below: a headless run goes on alike
    entry("PTCK", 1, last_ticks),
    // Memory and its map.
    entry("MRAM", 1, main_ram),
    entry("VRAM", 1, video_ram),
    entry("MZPG", 1, mz_page_map),
    entry("MZUP", 1, upper_prohibited),
    entry("MZCG", 1, cg_japanese),
    entry("Z128", 1, zx128_paging),
    // The picture.
    entry("BRDR", 1, border_colour),
    entry("BHIS", 1, border_history),
    entry("OUTL", 1, output_lines),
    entry("ZXBM", 1, zx_line_bitmap),
    entry("ZXAT", 1, zx_line_attr),
    entry("FLSH", 1, flash_counter),
    entry("GLIN", 1, line_records),
    entry("GWFM", 1, wf_mode),
    entry("GWFB", 1, wf_frame_b),
    entry("GWFP", 1, wf_planes),
    entry("GRFS", 1, rf_search),
    entry("GRFB", 1, rf_frame_b),
    entry("GRFM", 1, rf_masks),
    entry("GDMD", 1, dmd),
    entry("GSOF", 1, scroll_offset),
    entry("GSWD", 1, scroll_width),
    entry("GSST", 1, scroll_start),
    entry("GSEN", 1, scroll_end),
    entry("GPAL", 1, palette),
    entry("GPGR", 1, palette_group),
    entry("G7WL", 1, mz700_last_write_line),
    entry("GDSP", 1, display_active),
    entry("GVSY", 1, vsync_window),
    entry("STLN", 1, status_line),
    entry("STCU", 1, status_cursor),
    entry("STAT", 1, status_attr),
    // The i8253 and the PIO of the MZ-800, the 8255 of every machine.
    entry("T0CN", 1, t0_count),
    entry("T0RL", 1, t0_reload),
    entry("T0MD", 1, t0_mode),
    entry("T0RW", 1, t0_rw),
    entry("T0LA", 1, t0_latch),
    entry("T0OU", 1, t0_out),
    entry("T0PS", 1, t0_pos),
    entry("T0TG", 1, t0_target),
    entry("T0LB", 1, t0_line_base),
    entry("T0SL", 1, t0_slots),
    entry("T0LV", 1, t0_level),
    entry("M7SE", 1, mz700_sound_enable),
    entry("T1CN", 1, t1_count),
    entry("T1RL", 1, t1_reload),
    entry("T1TG", 1, t1_toggle),
    entry("T1LA", 1, t1_latch),
    entry("T2CN", 1, t2_count),
    entry("T2RL", 1, t2_reload),
    entry("T2TG", 1, t2_toggle),
    entry("T2LA", 1, t2_latch),
    entry("PIOS", 1, pio_state),
    entry("PIOV", 1, pio_vector),
    entry("PIOI", 1, pio_in_service),
    entry("PPIA", 1, ppi_port_a),
    entry("PPIC", 1, ppi_port_c),
    // Keyboard and joystick.
    entry("KMAT", 1, key_matrix),
    entry("KTYP", 1, typed_keys),
    entry("JOYS", 1, joystick_state),
    entry("PS2C", 1, ps2_code),
    entry("STVI", 1, status_visible),
    entry("PRTS", 1, prtscr_count),
    // Sound: the chips, the volume and filters, the ring the sound card reads.
    entry("SNPE", 1, sn_period),
    entry("SNNC", 1, sn_noise_ctrl),
    entry("SNLV", 1, sn_level),
    entry("SNCN", 1, sn_counter),
    entry("SNNO", 1, sn_noise_counter),
    entry("SNLF", 1, sn_lfsr),
    entry("SNLA", 1, sn_latch),
    entry("AY  ", 1, ay),
    entry("BEEP", 1, beeper_bits),
    entry("PMDS", 1, pmd_channels),
    entry("PMDT", 1, pmd_tone_counter),
    entry("VOLI", 1, volume_index),
    entry("VOLU", 1, volume),
    entry("FLHZ", 1, filter_hz),
    entry("FLDV", 1, filter_div),
    entry("SWRS", 1, sample_weight_rest),
    entry("OACC", 1, out_acc),
    entry("T0RI", 1, t0_read_index),
    entry("RING", 1, sound_ring),
    entry("RNGW", 1, ring_write),
    entry("RNGR", 1, ring_read),
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
    all[ENTRIES.size()] = {{'B', 'W', 'L', 'P'}, 1, filter.data(), uint32_t(filter.size())};
    all[ENTRIES.size() + 1] = entry("HCLK", 1, headless::simulated_clock());
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
    if (is_mz800_family(machine_kind))
        mz_page_map_read(mz_page_map);
    media_state_gather();
}

namespace {
const uint8_t* selected_cycle_table = nullptr;
const PageReadFn* selected_page_read = nullptr;
} // namespace

void state_select(MachineKind kind)
{
    select_machine(kind);
    selected_cycle_table = cpu.cycle_table;
    selected_page_read = cpu.page_read;
}

void state_rebuild()
{
    // The pointers of the processor's record are this program's, not the file's.
    cpu.cycle_table = selected_cycle_table;
    cpu.page_read = selected_page_read;
    media_state_rebuild();
    if (is_mz800_family(machine_kind)) {
        mz_page_map_apply(mz_page_map);
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
        n += e.size;
    return n;
}

void state_blocks_read(uint8_t* out)
{
    state_gather();
    for (const StateEntry& e : state_entries())
        out = std::copy_n(e.data, e.size, out);
}

void state_blocks_write(const uint8_t* blocks)
{
    const uint8_t* p = blocks;
    for (const StateEntry& e : state_entries()) {
        if (e.data == reinterpret_cast<uint8_t*>(&machine_kind))
            state_select(MachineKind(*p));
        p += e.size;
    }
    for (const StateEntry& e : state_entries()) {
        std::copy_n(blocks, e.size, e.data);
        blocks += e.size;
    }
    state_rebuild();
}
