// Fuzz target: the tape file readers (.tap, .tzx, .wav; the first input byte chooses), then
// the tape in a ZX Spectrum 48K: the loading trap at the head and a stretch of playing.
#include <cstdint>

#include "cpu/cpu.h"
#include "fuzz/fuzz_support.h"
#include "host/emulator.h"
#include "host/headless.h"
#include "host/tape_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::reset_card();
    headless::power_on(fuzz::card().c_str());
    request_machine(ZX48, 1);
    restart_machine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > TAPE_FILE_MAX)
        return 0;
    constexpr TapeFormat FORMATS[] = {TapeFormat::TAP, TapeFormat::TZX, TapeFormat::WAV};
    TapeImage image;
    if (tape_parse(FORMATS[data[0] % 3], data + 1, uint32_t(size - 1), "fuzz", image))
        return 0;
    tape_insert(std::move(image));
    // LD-BYTES as the ROM enters it: load 256 bytes at 8000h with flag FFh.
    cpu.af2 = (data[0] & 0x80) ? 0x0001 : 0xFF01;
    cpu.de = 0x0100;
    cpu.ix = 0x8000;
    cpu.sp = 0xFF00;
    cpu.cycles = 0;
    tape_load_trap();
    for (int i = 0; i < 2000 && cassette.playing; ++i) {
        cpu.cycles -= 997;
        tape_ear();
    }
    tape_eject();
    return 0;
}
