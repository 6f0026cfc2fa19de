// The MZ-800 family's entry points: selection, reset, power-on start, the per-line work and
// the machine's sound (the SN76489 less the low part of i8253 counter 0's gated output).
#include "machines/mz800/mz800.h"

#include "machines/machine.h"
#include "machines/mz800/banking.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/i8253.h"
#include "machines/mz800/mz_ports.h"
#include "machines/mz800/pio.h"
#include "machines/picture.h"
#include "machines/sound/sound.h"
#include "sidecar/ramdisc.h"

namespace {

constexpr int32_t T0_FULL_LEVEL = 8192;

void mz800_sound(uint32_t count)
{
    const int32_t g = sn76489_noise_rate();
    t0_catch_up();
    for (uint32_t i = 0; i < count; ++i)
        sound_emit(sn76489_sample(g) - (T0_FULL_LEVEL - counter0_sound_level()));
    t0_slot_advance(sound_gen.t0_read_index);
}

// After the line's picture: the RAM disc's write-back tick once a frame, then the chipset.
void mz800_line_done(int32_t line)
{
    render_line(line);
    if (line == 280)
        ramdisc_tick();
    mz_line_event(line);
}

} // namespace

void mz800_select(MachineKind)
{
    install_mz_page_bytes();
    install_ports(mz_io_read, mz_io_write);
    install_sound_source(mz800_sound);
    install_picture({record_line, mz800_line_done, present_line, screenshot_line});
    mz700_text_stale(); // another machine or mode has had the line buffer and the video RAM
}

void mz800_reset()
{
    i8253_reset();
    pio_reset();
    set_upper_prohibited(false);
}

void mz_start()
{
    gdg_start(); // display mode 0, no scroll, black border
    select_machine(MZ800);
    bank_write(0xE4);
}

void mz_line_event(int32_t line)
{
    switch (line) {
    case 5: gdg.vsync_window = 1; break;
    case 50:
        gdg.display_active = 1;
        pio_display_edge(true);
        break;
    case 250:
        gdg.display_active = 0;
        pio_display_edge(false);
        break;
    case 292: gdg.vsync_window = 0; break;
    default: break;
    }
    i8253_line_clock();
}
