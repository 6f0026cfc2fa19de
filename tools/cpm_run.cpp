// cpm_run: runs a CP/M .COM program headless on the Kestrel CPU core.
// The program's console output (BDOS functions 2 and 9) goes to standard output; the run
// ends when the program jumps to 0000h (or calls BDOS function 0, or returns with RET).
//
//   cpm_run [--cpu z80a|z80b|8080] [--max-cycles N] [--stats] FILE.COM
//
// z80a: Z80 with fixed costs (MZ-800 handler set); z80b: Z80 with ZX Spectrum access timing,
// which stretches accesses to 4000h-7FFFh on the contended scan lines; 8080: the PMD 85's 8080.
// Exit status: 0 when the program ended, 1 for bad arguments or an unusable file,
// 2 when --max-cycles stopped it first.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "tools/cpm_machine.h"
#include "tools/flat_machine.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_CYCLE_LIMIT = 2;

void usage(std::FILE* to)
{
    std::fputs("usage: cpm_run [--cpu z80a|z80b|8080] [--max-cycles N] [--stats] FILE.COM\n"
               "  --cpu z80a        Z80 with fixed instruction costs (default)\n"
               "  --cpu z80b        Z80 with ZX Spectrum memory timing\n"
               "  --cpu 8080        Intel 8080\n"
               "  --max-cycles N    stop with status 2 after N emulated cycles\n"
               "  --stats           print cycles, wall time and effective MHz to stderr\n",
               to);
}

int fail_usage(const char* message, const char* detail)
{
    std::fprintf(stderr, "cpm_run: %s%s\n", message, detail);
    usage(stderr);
    return EXIT_USAGE;
}

bool parse_cpu(std::string_view name, MachineKind& kind)
{
    if (name == "z80a")
        kind = MZ800;
    else if (name == "z80b")
        kind = ZX48;
    else if (name == "8080")
        kind = PMD85;
    else
        return false;
    return true;
}

bool parse_count(const char* text, uint64_t& value)
{
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v == 0)
        return false;
    value = v;
    return true;
}

// Reads the whole file; `too_large` is set when it exceeds the TPA.
bool read_program(const char* path, std::vector<uint8_t>& program, bool& too_large)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    program.resize(cpm::TPA_SIZE + 1);
    const std::size_t n = std::fread(program.data(), 1, program.size(), f);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    program.resize(n);
    too_large = n > cpm::TPA_SIZE;
    return ok;
}

void console_to_stdout(uint8_t ch) { std::fputc(ch, stdout); }

} // namespace

int main(int argc, char** argv)
{
    MachineKind kind = MZ800;
    uint64_t max_cycles = 0;
    bool stats = false;
    const char* path = nullptr;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return EXIT_OK;
        } else if (arg == "--cpu") {
            if (++i == argc)
                return fail_usage("--cpu needs a value", "");
            if (!parse_cpu(argv[i], kind))
                return fail_usage("unknown cpu: ", argv[i]);
        } else if (arg == "--max-cycles") {
            if (++i == argc)
                return fail_usage("--max-cycles needs a value", "");
            if (!parse_count(argv[i], max_cycles))
                return fail_usage("--max-cycles needs a positive whole number, not: ", argv[i]);
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail_usage("unknown option: ", argv[i]);
        } else if (path) {
            return fail_usage("more than one program given: ", argv[i]);
        } else {
            path = argv[i];
        }
    }
    if (!path)
        return fail_usage("no program given", "");

    std::vector<uint8_t> program;
    bool too_large = false;
    if (!read_program(path, program, too_large)) {
        std::fprintf(stderr, "cpm_run: cannot read %s: %s\n", path, std::strerror(errno));
        return EXIT_USAGE;
    }
    if (too_large) {
        std::fprintf(stderr, "cpm_run: %s is larger than the TPA (%zu bytes at 0100h-FDFFh)\n",
                     path, cpm::TPA_SIZE);
        return EXIT_USAGE;
    }

    cpm::load(kind, program.data(), program.size(), console_to_stdout);
    const auto start = std::chrono::steady_clock::now();
    const cpm::RunEnd end = cpm::run(max_cycles);
    const auto wall = std::chrono::steady_clock::now() - start;
    const uint64_t cycles = flat::elapsed_cycles();
    std::fflush(stdout);

    if (stats) {
        const double us = double(std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count()) / 1000.0;
        std::fprintf(stderr, "cpm_run: %llu cycles in %.6f s = %.1f MHz\n",
                     static_cast<unsigned long long>(cycles), us / 1e6, us > 0 ? double(cycles) / us : 0.0);
    }
    if (end == cpm::RunEnd::CYCLE_LIMIT) {
        std::fprintf(stderr, "cpm_run: stopped after %llu cycles (limit %llu); the program did not end\n",
                     static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(max_cycles));
        return EXIT_CYCLE_LIMIT;
    }
    return EXIT_OK;
}
