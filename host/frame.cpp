#include "host/frame.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "host/gamepad.h"
#include "host/key_translation.h"
#include "host/media_state.h"
#include "host/natural_keys.h"
#include "host/rewind.h"
#include "host/speed.h"
#include "host/state_keys.h"
#include "host/tape_deck.h"
#include "host/typing.h"
#include "machines/keyboard.h"
#include "machines/picture.h"
#include "machines/status_line.h"
#include "machines/zx/zx.h"

uint32_t last_present_ms = 0;
uint32_t last_status_ms = 0;
int32_t status_mark = 0;
std::array<uint32_t, 16> host_palette;
SDL_Surface* screen = nullptr;
int32_t window_scale = 1;
volatile std::sig_atomic_t quit_requested = 0;
void (*frame_end_hook)() = nullptr;

const std::array<Rgb, 16> HOST_COLOURS = {{
    {0, 0, 0},      {0, 0, 170},    {170, 0, 0},    {170, 0, 170},
    {0, 170, 0},    {0, 170, 170},  {170, 170, 0},  {170, 170, 170},
    {85, 85, 85},   {85, 85, 255},  {255, 85, 85},  {255, 85, 255},
    {85, 255, 85},  {85, 255, 255}, {255, 255, 85}, {255, 255, 255},
}};

namespace {

constexpr int WINDOW_WIDTH = 800;

// The raster line the cycle counter has reached.
uint32_t target_line()
{
    const uint32_t t = uint32_t(-cpu.cycles);
    switch (machine_kind) {
    case MZ700_MODE:
    case MZ800: return (5u * t / 1136u) % 312u; // 1136 dots per line, 5 dots per cycle
    case ZX128: return (t / uint32_t(cpu.cycles_per_line)) % 311u;
    default: return (t / uint32_t(cpu.cycles_per_line)) % 312u;
    }
}

int frame_lines() { return machine_kind == ZX128 ? 311 : 312; }

// The digit of n at `power`, or a blank where n has no such digit.
char digit_or_blank(uint32_t n, uint32_t power)
{
    return n < power ? ' ' : char('0' + (n / power) % 10);
}

// Speed, volume and filter at the end of the status line, every 500 ms.
void refresh_status_readout(uint32_t now)
{
    if (now - last_status_ms < 500)
        return;
    const uint64_t expected = uint64_t(MACHINE_PROFILE[machine_kind].cycles_per_10ms) * (now - last_status_ms) * 10 / 1000;
    const int64_t done = int64_t(-cpu.cycles) - status_mark;
    const uint32_t p = expected == 0 || done <= 0 ? 0 : uint32_t(double(done) * 100.0 / double(expected));
    status_line.cursor = 32;
    const char speed[] = {digit_or_blank(p, 100000), digit_or_blank(p, 10000), digit_or_blank(p, 1000),
                          char('0' + (p / 100) % 10), char('0' + (p / 10) % 10), '.', char('0' + p % 10), '%', 0};
    status_print(speed);

    status_line.cursor = 9;
    const int32_t percent = (2000 - 100 * volume_index) / 20;
    const char vol[] = {'V', 'O', 'L', ':', digit_or_blank(uint32_t(percent), 100),
                        digit_or_blank(uint32_t(percent), 10), char('0' + percent % 10), '%', 0};
    status_print(vol);

    status_line.cursor = 21;
    const uint32_t hz = uint32_t(filter_hz);
    const char cut[] = {'C', 'U', 'T', ':', digit_or_blank(hz, 1000), char('0' + (hz / 100) % 10),
                        char('0' + (hz / 10) % 10), char('0' + hz % 10), 'H', char(0xA2), 0};
    status_print(cut);
    show_key_mode();

    status_mark = -cpu.cycles;
    last_status_ms = now;
}

// Keeps the counters far from overflow; whole frames keep the raster phase.
void rebase_time()
{
    int32_t amount = 0;
    const int32_t t = -cpu.cycles;
    if (is_mz800_family(machine_kind)) {
        if (t > 0x15A2000)
            amount = 0xAD1000; // 160 frames of 312 x 1136 / 5 cycles
    } else if (machine_kind == ZX128) {
        if (t / cpu.cycles_per_line > 49760)
            amount = cpu.cycles_per_line * 24880;
    } else if (t / cpu.cycles_per_line > 49920) {
        amount = cpu.cycles_per_line * 24960;
    }
    cpu.cycles += amount;
    cpu.line_start += amount;
    cycle_credit -= amount;
    status_mark -= amount;
    tape_rebase(amount);
}

void end_frame()
{
    refresh_status_readout(host_clock.ticks());
    tape_deck_frame();
    media_state_frame();
    const uint32_t now = host_clock.ticks();
    if (now - last_present_ms > 19) {
        last_present_ms = (now / 20) * 20;
        if (screen) {
            present_frame();
            drain_window_events();
        }
    }
    frame_pos.line = 0;
    ++frame_pos.frames;
    rebase_time();
    if (frame_end_hook)
        frame_end_hook();
    if (screen)
        rewind_frame_end();
    typing_frame();
    if (quit_requested)
        std::exit(0); // as the window's close: the exit hook saves what the devices still hold
}

} // namespace

void scanline_step()
{
    const uint32_t target = target_line();
    if (uint32_t(frame_pos.line) == target)
        return;
    ++frame_pos.line;
    picture.record_line(frame_pos.line);
    if (uint32_t(frame_pos.line) != target)
        event_raise(EV_LINE_PENDING);
    generate_samples(line_step);
    if (machine_kind == ZX48 || machine_kind == ZX128) {
        if (frame_pos.line == 298 && (cpu.control & CTRL_IFF1))
            event_raise(EV_INT);
        else if (frame_pos.line == 299)
            event_clear(EV_INT);
    }
    if (frame_pos.line >= frame_lines())
        end_frame();
    picture.line_done(frame_pos.line);
}

void drain_window_events()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            std::exit(0); // the exit hook saves what the devices still hold
        if (state_key_event(event))
            continue;
        gamepad_event(event);
        if (!natural_key_event(event))
            translate_key_event(event);
    }
}

void build_host_palette(SDL_Surface* surface)
{
    for (size_t i = 0; i < HOST_COLOURS.size(); ++i)
        host_palette[i] = SDL_MapRGBA(surface->format, HOST_COLOURS[i].r, HOST_COLOURS[i].g, HOST_COLOURS[i].b, 255);
}

void compose_line(int line, std::array<uint8_t, 400>& out)
{
    picture.present_line(line);
    std::copy_n(picture_state.output_lines[line & 1].begin(), out.size(), out.begin());
}

void present_frame()
{
    if (SDL_MUSTLOCK(screen))
        SDL_LockSurface(screen);
    std::array<uint8_t, 400> line;
    // Each emulated line is two window rows of 800 dots, each of them `window_scale` times over.
    const int s = window_scale;
    const int width = WINDOW_WIDTH * s;
    for (int i = 0; i < VISIBLE_LINES; ++i) {
        compose_line(i, line);
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(screen->pixels) + 2 * s * i * screen->pitch);
        for (int b = 0; b < WINDOW_WIDTH / 2; ++b) {
            std::fill_n(row + 2 * s * b, s, host_palette[line[b] >> 4]);
            std::fill_n(row + 2 * s * b + s, s, host_palette[line[b] & 0x0F]);
        }
        for (int r = 1; r < 2 * s; ++r)
            std::copy_n(row, width, reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(row) + r * screen->pitch));
    }
    if (SDL_MUSTLOCK(screen))
        SDL_UnlockSurface(screen);
    SDL_Flip(screen);
}
