// zx_bench: the whole ZX Spectrum 48K (CPU with contention, ULA picture, AY and beeper sound,
// frame timing) headless at unlimited speed, the picture composed every frame as a window
// would show it. Three runs: OpenSE BASIC idle at its prompt, a busy program in contended
// memory that copies screen memory with LDIR and writes the ULA port in a tight loop, and the
// ROM's LD-BYTES reading a long turbo block from the playing tape in real time. Prints emulated
// seconds per wall-clock second for each. A benchmark to run by hand, never a test.
//
//   build/bench/zx_bench [FRAMES] [--breakpoint] [--rewind]   (default 3000 frames per run = 60 emulated seconds)
// --rewind records the rewind history at every frame end as the window does, and prints its size
// with what a saved state costs.
//
// --breakpoint arms a debugger breakpoint at FFFFh, which neither run reaches: the run loop's
// checked form, as with a debugger attached.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "cpu/breakpoints.h"
#include "cpu/cpu.h"
#include "host/emulator.h"
#include "machines/memory.h"
#include "machines/zx/zx.h"
#include "host/headless.h"
#include "bench/state_figures.h"

namespace {

// At 6000h, contended: DI; loop: LD HL,4000h; LD DE,4800h; LD BC,0800h; LDIR; INC A;
// AND 17h; OUT (FEh),A; JR loop.
constexpr uint8_t BUSY[] = {0xF3, 0x21, 0x00, 0x40, 0x11, 0x00, 0x48, 0x01, 0x00, 0x08, 0xED, 0xB0,
                            0x3C, 0xE6, 0x17, 0xD3, 0xFE, 0x18, 0xEE};
constexpr uint16_t BUSY_AT = 0x6000;

// At 6000h: LD IX,8000h; LD DE,3E80h; LD A,FFh; SCF; CALL 0556h (LD-BYTES); JR $.
constexpr uint8_t LOADER[] = {0xDD, 0x21, 0x00, 0x80, 0x11, 0x80, 0x3E, 0x3E, 0xFF, 0x37, 0xCD, 0x56, 0x05, 0x18, 0xFE};
constexpr uint32_t TAPE_BYTES = 0x3E80 + 2;

// A turbo block at the ROM's speed, which the loading trap leaves to be read in real time:
// pilot, sync and 16000 bytes of varied data, about 90 s of tape.
TapeImage turbo_tape()
{
    TapeImage t;
    uint8_t level = 0;
    const auto pulse = [&](uint32_t length) {
        level ^= 1;
        t.spans.push_back(length | (level ? SPAN_HIGH : 0));
    };
    for (int i = 0; i < 3223; ++i)
        pulse(2168);
    pulse(667);
    pulse(735);
    uint8_t parity = 0, byte = 0xFF;
    for (uint32_t i = 0; i < TAPE_BYTES; ++i) {
        byte = i + 1 == TAPE_BYTES ? parity : uint8_t(i == 0 ? 0xFF : byte * 13 + 7);
        parity ^= byte;
        for (int bit = 7; bit >= 0; --bit) {
            pulse((byte >> bit) & 1 ? 1710 : 855);
            pulse((byte >> bit) & 1 ? 1710 : 855);
        }
    }
    t.blocks = {{0, 0, uint32_t(t.spans.size()), 0, 0, BLOCK_SIGNAL}};
    return t;
}

bool record_rewind = false;

double run(long frames)
{
    headless::Picture picture;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < frames; ++i) {
        headless::run_frames(1);
        headless::picture(picture);
        if (record_rewind)
            rewind_frame_end();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A ZX 48K frame is 312 lines of 224 cycles at 3.5 MHz.
    return double(frames) * 312.0 * 224.0 / 3500000.0 / wall;
}

} // namespace

int main(int argc, char** argv)
{
    record_rewind = argc > 1 && std::strcmp(argv[argc - 1], "--rewind") == 0;
    argc -= record_rewind;
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
    const bool armed = argc > 2 && std::strcmp(argv[2], "--breakpoint") == 0;
    if (frames <= 0 || (argc > 2 && !armed)) {
        std::fprintf(stderr, "usage: zx_bench [FRAMES] [--breakpoint] [--rewind]\n");
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    const auto root = std::filesystem::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    headless::power_on(root.c_str());
    request_machine(ZX48, 0);
    restart_machine();
    headless::run_frames(150); // OpenSE BASIC reaches its prompt
    if (armed) {
        breakpoint_bits[0xFFFF >> 3] = 0x80;
        breakpoints_armed = true;
    }

    const double idle = run(frames);
    for (size_t i = 0; i < sizeof BUSY; ++i)
        main_ram[BUSY_AT + i] = BUSY[i];
    cpu.pc = BUSY_AT;
    const double busy = run(frames);
    const size_t busy_history = rewind_bytes();
    tape_insert(turbo_tape());
    for (size_t i = 0; i < sizeof LOADER; ++i)
        main_ram[BUSY_AT + i] = LOADER[i];
    cpu.pc = BUSY_AT;
    cpu.sp = 0xFF00;
    const double loading = run(frames);
    const bool still_loading = cassette.playing;

    std::printf("ZX 48K, %ld frames each: OpenSE BASIC idle %.1f, busy in contended memory %.1f, "
                "loading from tape %.1f emulated s per wall s%s\n",
                frames, idle, busy, loading, still_loading ? "" : " (the tape ended before the run)");
    if (record_rewind) {
        std::printf("rewind history after the busy run: %.1f MiB\n", double(busy_history) / (1 << 20));
        print_state_figures(root);
    }
    std::filesystem::remove_all(root);
    return 0;
}
