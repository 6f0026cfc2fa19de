#include "tools/sound_render.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>
#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/speed.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/i8253.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"
#include "host/headless.h"

namespace wav_render {

uint16_t default_load_address(MachineKind kind) { return is_mz800_family(kind) ? 0x2000 : 0x8000; }

bool parse_number(const std::string& text, uint32_t& value)
{
    if (text.empty())
        return false;
    std::string digits = text;
    int base = 0;
    if (digits.back() == 'h' || digits.back() == 'H') {
        digits.pop_back();
        base = 16;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(digits.c_str(), &end, base);
    if (digits.empty() || *end != '\0' || v > 0xFFFFFFFFul)
        return false;
    value = uint32_t(v);
    return true;
}

// Parses a script; on failure `error` names the line.
bool parse_script(const std::string& text, std::vector<Command>& out, std::string& error)
{
    struct Form {
        const char* name;
        Op op;
        int count;
        std::array<uint32_t, 3> limit;
    };
    static constexpr Form FORMS[] = {
        {"out", Op::OUT, 2, {0xFFFF, 0xFF, 0}},  {"sn", Op::SN, 1, {0xFF, 0, 0}},
        {"ay", Op::AY, 2, {0xFF, 0xFF, 0}},      {"beeper", Op::BEEPER, 1, {0xFF, 0, 0}},
        {"pmd", Op::PMD, 3, {3, 5, 0xFFFF}},     {"portc", Op::PORTC, 1, {0xFF, 0, 0}},
    };
    std::istringstream lines(text);
    std::string line;
    uint32_t frame = 0;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        std::vector<uint32_t> args;
        for (std::string a; words >> a;) {
            uint32_t v;
            if (!parse_number(a, v)) {
                error = "line " + std::to_string(number) + ": bad number '" + a + "'";
                return false;
            }
            args.push_back(v);
        }
        if (word == "frame" && args.size() == 1) {
            frame = args[0];
            continue;
        }
        const Form* form = nullptr;
        for (const Form& f : FORMS)
            if (word == f.name)
                form = &f;
        if (!form || int(args.size()) != form->count) {
            error = "line " + std::to_string(number) + ": unknown command or wrong arguments: " + line;
            return false;
        }
        Command c{frame, form->op, {}};
        for (int i = 0; i < form->count; ++i) {
            if (args[size_t(i)] > form->limit[size_t(i)]) {
                error = "line " + std::to_string(number) + ": value out of range: " + line;
                return false;
            }
            c.args[size_t(i)] = args[size_t(i)];
        }
        out.push_back(c);
    }
    return true;
}

namespace {

void apply(const Command& c)
{
    const auto& a = c.args;
    switch (c.op) {
    case Op::OUT: io_write(uint16_t(a[0]), uint8_t(a[1])); break;
    case Op::SN: sn76489_write(uint8_t(a[0])); break;
    case Op::AY:
        ay_select_write(uint8_t(a[0]));
        ay_data_write(uint8_t(a[1]));
        break;
    case Op::BEEPER: beeper_bits = uint8_t(a[0]); break;
    case Op::PMD:
        pmd_timer_control(int(a[0]), uint8_t(0x30 | a[1] << 1));
        pmd_timer_count_write(int(a[0]), uint8_t(a[2]));
        pmd_timer_count_write(int(a[0]), uint8_t(a[2] >> 8));
        break;
    case Op::PORTC:
        if (is_mz800_family(machine_kind))
            t0_catch_up(); // counter 0's gate changes now, not at the last catch-up
        ppi.port_c = uint8_t(a[0]);
        break;
    }
}

} // namespace

// Renders the job; returns interleaved left/right samples at 44100 Hz.
std::vector<int16_t> render(const Job& job)
{
    const auto root = std::filesystem::temp_directory_path() / ("kestrel-wav-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    headless::simulate_clock(true);

    headless::power_on(root.c_str());
    if (job.machine != MZ800) {
        request_machine(job.machine, 0);
        restart_machine();
    }
    if (job.machine != PMD85 && (!job.program.empty() || job.park)) {
        static constexpr uint8_t IDLE[] = {0xF3, 0x18, 0xFE}; // DI; JR $
        const uint16_t at = job.at ? job.at : default_load_address(job.machine);
        const uint8_t* code = job.program.empty() ? IDLE : job.program.data();
        const size_t size = job.program.empty() ? sizeof(IDLE) : job.program.size();
        for (size_t i = 0; i < size && at + i < 0x10000; ++i)
            main_ram[at + i] = code[i];
        cpu.pc = at;
    }
    speed_setting = 10;
    apply_speed(machine_kind);
    last_ticks = host_clock.ticks();
    cycle_credit = -cpu.cycles; // on time

    std::vector<int16_t> out;
    for (uint32_t f = 0; f < job.frames; ++f) {
        for (const Command& c : job.script)
            if (c.frame == f)
                apply(c);
        headless::run_frames_timed(1, &out);
    }

    headless::simulate_clock(false);
    speed_setting = SPEED_UNLIMITED;
    std::filesystem::remove_all(root);
    return out;
}

} // namespace wav_render
