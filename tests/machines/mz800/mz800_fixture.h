// An MZ-800 powered on the way the host shell does it, for the machine-layer tests.
#pragma once

#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/banking.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/mz800.h"
#include "machines/mz800/pio.h"
#include "machines/ppi8255.h"

class Mz800 : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ram.fill(0);
        video_ram.fill(0);
        cpu = CpuState{};
        port_disable_all();
        mz_ports_enable();
        chipset_reset();
        cg_japanese = false;
        select_machine(MZ700_MODE);
        io_write(0xCE, 0x08);
        io_write(0xE4, 0x00);
        mz_start();
        cpu_reset_z80(cpu);
        speed_setting = SPEED_UNLIMITED;
        cpu.cycles_per_line = 1 << 30; // no line ends unless a test wants them
        cpu.line_start = 0;
    }

    // Runs the instruction bytes placed at 2000h (RAM after power-on), one instruction.
    void run_one(std::initializer_list<uint8_t> code)
    {
        uint16_t at = 0x2000;
        for (uint8_t b : code)
            main_ram[at++] = b;
        cpu.pc = 0x2000;
        cpu.events = EV_TRACE;
        cpu_run(cpu);
        cpu.events = 0;
    }

    uint8_t in_port(uint8_t port)
    {
        run_one({0xDB, port}); // IN A,(n)
        return hi(cpu.af);
    }

    void out_port(uint8_t port, uint8_t value)
    {
        set_hi(cpu.af, value);
        run_one({0xD3, port}); // OUT (n),A
    }
};
