// cpu_bench: speed of the Kestrel Z80 core against the z80ex library on one fixed
// CP/M workload (tools/cpm/cpubench.asm), both run in the same process.
//
//   cpu_bench [--repeat N] [FILE.COM]
//
// The Kestrel core runs with handler set A (fixed Z80 costs) on the flat machine; z80ex
// runs on a flat 64 KiB array. Both print the workload's result line, which must agree
// with each other and with a host-side model of the workload. Effective MHz is T-states
// per microsecond of wall time; with N repeats the best run of each core counts.
// Exit status: 0 when the results agree, 1 on a mismatch or a bad argument.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench/workload_model.h"
#include "bench/z80ex_cpm.h"
#include "tools/cpm_machine.h"
#include "tools/flat_machine.h"

namespace {

// An upper bound far above what a correct run needs, so that a broken core still stops.
constexpr uint64_t TSTATE_BOUND_PER_ROUND = 8'000'000;

std::string captured;
void capture(uint8_t ch) { captured.push_back(char(ch)); }

struct Measurement {
    uint64_t tstates = 0;
    double seconds = 0;
    bool ended = false;
    std::string output;
    double mhz() const { return seconds > 0 ? double(tstates) / (seconds * 1e6) : 0; }
};

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Measurement run_kestrel(const std::vector<uint8_t>& program, uint64_t bound)
{
    Measurement m;
    captured.clear();
    cpm::load(MZ800, program.data(), program.size(), capture);
    const auto start = Clock::now();
    m.ended = cpm::run(bound) == cpm::RunEnd::WARM_BOOT;
    m.seconds = seconds_since(start);
    m.tstates = flat::elapsed_cycles();
    m.output = captured;
    return m;
}

Measurement run_z80ex(const std::vector<uint8_t>& program, uint64_t bound)
{
    Measurement m;
    captured.clear();
    const auto start = Clock::now();
    const Z80exRun r = z80ex_run_cpm(program.data(), program.size(), capture, bound);
    m.seconds = seconds_since(start);
    m.tstates = r.tstates;
    m.ended = r.ended;
    m.output = captured;
    return m;
}

std::string printable(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

void report_run(const char* who, const Measurement& m)
{
    std::printf("  %-8s %12llu T-states in %8.3f s = %7.1f MHz%s\n", who,
                static_cast<unsigned long long>(m.tstates), m.seconds, m.mhz(),
                m.ended ? "" : "  (did not end)");
}

int usage()
{
    std::fputs("usage: cpu_bench [--repeat N] [FILE.COM]\n"
               "  runs the CP/M CPU workload on the Kestrel core and on z80ex and compares them\n",
               stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    unsigned repeat = 1;
    const char* path = KESTREL_CPUBENCH_COM;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || n == 0 || n > 1000)
                return usage();
            repeat = unsigned(n);
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            path = argv[i];
        }
    }

    std::vector<uint8_t> program(cpm::TPA_SIZE + 1);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "cpu_bench: cannot open %s\n", path);
        return 1;
    }
    program.resize(std::fread(program.data(), 1, program.size(), f));
    std::fclose(f);
    if (program.size() > cpm::TPA_SIZE || program.size() < CPUBENCH_ROUNDS_OFFSET + 2) {
        std::fprintf(stderr, "cpu_bench: %s is not the cpubench program\n", path);
        return 1;
    }
    const uint32_t rounds =
        program[CPUBENCH_ROUNDS_OFFSET] | uint32_t(program[CPUBENCH_ROUNDS_OFFSET + 1]) << 8;
    const std::string expected = cpubench_expected_output(rounds);
    const uint64_t bound = TSTATE_BOUND_PER_ROUND * rounds;

    std::printf("workload: %s, %u rounds, %u run(s) per core\n", path, unsigned(rounds), repeat);
    std::printf("expected: %s\n", printable(expected).c_str());

    Measurement best_ours, best_z80ex;
    bool all_agree = true;
    for (unsigned r = 1; r <= repeat; ++r) {
        std::printf("run %u:\n", r);
        std::fflush(stdout);
        const Measurement ours = run_kestrel(program, bound);
        report_run("kestrel", ours);
        std::fflush(stdout);
        const Measurement theirs = run_z80ex(program, bound);
        report_run("z80ex", theirs);

        for (const Measurement* m : {&ours, &theirs}) {
            if (m->output != expected) {
                std::printf("  MISMATCH: %s printed \"%s\"\n", m == &ours ? "kestrel" : "z80ex",
                            printable(m->output).c_str());
                all_agree = false;
            }
        }
        if (ours.tstates != theirs.tstates)
            std::printf("  note: the cores counted different T-states (%+lld)\n",
                        static_cast<long long>(ours.tstates) - static_cast<long long>(theirs.tstates));
        if (ours.mhz() > best_ours.mhz())
            best_ours = ours;
        if (theirs.mhz() > best_z80ex.mhz())
            best_z80ex = theirs;
    }

    std::printf("result (best of %u):\n", repeat);
    std::printf("  kestrel core (handler set A): %7.1f MHz\n", best_ours.mhz());
    std::printf("  z80ex %-22s %7.1f MHz\n", (std::string(z80ex_version_string()) + ":").c_str(),
                best_z80ex.mhz());
    std::printf("  ratio kestrel/z80ex:          %7.2f\n",
                best_z80ex.mhz() > 0 ? best_ours.mhz() / best_z80ex.mhz() : 0.0);
    std::printf("  wall time z80ex/kestrel:      %7.2f (same work, whatever each core counts)\n",
                best_ours.seconds > 0 ? best_z80ex.seconds / best_ours.seconds : 0.0);
    std::printf("  output: %s\n", all_agree ? "both cores match the workload model" : "MISMATCH (see above)");
    return all_agree ? 0 : 1;
}
