#include "host/launch.h"

#include <SDL/SDL.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/gdb_server.h"
#include "host/headless.h"
#include "host/screenshot.h"
#include "host/state_options.h"
#include "host/snapshot.h"
#include "host/speed.h"
#include "host/storage.h"
#include "host/tape_deck.h"
#include "host/typing.h"
#include "machines/memory.h"
#include "machines/typed_keys.h"
#include "sidecar/fdc.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/quickdisk.h"
#include "sidecar/rom_module.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

Launch launch;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t PROGRAM_START_FRAMES = 100; // the power-on beep and the boot probe, then the monitor
constexpr uint32_t TAPE_START_FRAMES = 150;   // the ZX's BASIC is at its prompt

const char* const HELP = R"(usage: kestrel [OPTIONS] [FILE]

Emulates the Sharp MZ-800, the ZX Spectrum 48K and 128K and the PMD 85. Without arguments it
opens its window on the MZ-800.

FILE, by its extension (the contents must match it; without a known extension the contents
decide):
  .mzf .mzt .m12   MZ-800 program file: loaded and started from the monitor in MZ-700 mode
  .dsk             Extended DSK image: floppy drive 0 for this run, booted
  .mzq             Quick Disk image for this run, booted
  .z80 .sna        ZX Spectrum snapshot: the 48K or 128K it was saved on starts it
  .tap .tzx .wav   ZX Spectrum tape: the 48K (--machine zx128: the 128K) starts with it
                   inserted and types what loads it
  .pmd             PMD 85 disk image: disk server drive 0 for this run; its first program runs
  .rmm             PMD 85 ROM module for this run; its first program runs
The file is read by the emulator itself; programs on the machine never see it on the card.

Options:
  --machine M       mz800 (default), mz800jp (Japanese characters), zx48, zx128, pmd85
  --sd DIR          the storage root (the card) instead of ./SD; created when missing
  --speed P         emulation speed in percent, 10 to 200 in steps of 10, or max
  --scale N         window size 1, 2 or 3 times 800 x 600
  --fullscreen      the whole screen
  --mute            no sound
  --gdb PORT        a GDB-protocol debugger connects to 127.0.0.1:PORT; the machine waits for
                    it, stopped before its first instruction (with --headless too)
  --headless        no window and no sound device: runs --frames N frames as fast as the host
                    allows (at the emulated speed against a simulated clock, so that the same
                    run gives the same files), then exits
    --frames N      frames to run (50 a second)
    --screenshot F  writes the last frame to F as a BMP file
    --wav F         writes the sound of the run to F (44100 Hz, 16-bit stereo)
    --type TEXT     types TEXT (UTF-8; \n for Enter), each character with the keys that
                    make it on the machine; one it has no key for is left out with a warning
    --type-after N  ... after frame N (default 0)
  --save-state F    writes the whole machine to F when the run ends (after its last frame)
  --load-state F    starts from a machine saved in F (the file says which machine)
  --help, --version

Keys in the window (besides the machine's): Right Alt+S saves the machine to
SD/sidecar/<machine>.state, Right Alt+L loads it, Right Alt+R held rewinds, Pause pauses.

In the window, Scroll Lock switches between the natural key mapping (the default: a key types
the sign it makes on the host) and the positional one (each key is the machine's key at the same
place); the first gamepad is the machine's joystick.

Keys on the ZX Spectrum: F7 plays or stops the tape, F8 rewinds it.
)";

bool fail(const std::string& message)
{
    std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help' for more information.\n", message.c_str());
    return false;
}

bool parse_count(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    value = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

std::string lower_extension(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

uint16_t word(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// An MZF program as the monitor's L loads it: machine code, whole, between 1200h and CFFFh.
const char* mzf_problem(const std::vector<uint8_t>& b)
{
    if (b.size() < 128 || b[0] != 0x01)
        return "not a machine-code program file (MZF)";
    const uint32_t size = word(b, 0x12), load = word(b, 0x14);
    if (b.size() - 128 < size)
        return "shorter than its header says";
    if (load < 0x1200 || load + size > 0xD000)
        return "does not fit between 1200h and CFFFh";
    return nullptr;
}

bool is_dsk(const std::vector<uint8_t>& b)
{
    static const char EXTENDED[] = "EXTENDED CPC DSK File";
    return b.size() >= 256 && std::equal(EXTENDED, EXTENDED + 21, b.begin());
}

// A Quick Disk image: the track's bytes with a run of sync bytes, within 64 KiB.
bool is_mzq(const std::vector<uint8_t>& b)
{
    if (b.empty() || b.size() > 0x10000)
        return false;
    const auto end = b.begin() + std::ptrdiff_t(std::min<size_t>(b.size(), 2048));
    const uint8_t sync[] = {0x16, 0x16};
    return std::search(b.begin(), end, sync, sync + 2) != end;
}

// The first name in a PMD 85 medium's directory of 16-byte entries (8 blank-padded bytes of
// name first); empty when the directory is.
std::string first_pmd_name(const std::vector<uint8_t>& b)
{
    std::string name;
    for (size_t i = 0; i < 8 && i < b.size() && b[0] != 0 && b[i] > ' ' && b[i] < 0x7F; ++i)
        name += char(b[i]);
    for (char c : name)
        if (!typing_table(PMD85, false).find(char32_t(std::tolower(static_cast<unsigned char>(c)))))
            return ""; // a name no key types is left for the user
    return name;
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

// Classifies FILE and checks it whole.
bool take_file(const std::string& path)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        return fail(path + ": is a directory");
    std::vector<uint8_t> bytes;
    if (!read_file(path, bytes))
        return fail(path + ": cannot be read (" + std::strerror(errno ? errno : ENOENT) + ")");
    launch.file = path;
    const std::string ext = lower_extension(path);
    const char* why = nullptr;
    if (ext == ".mzf" || ext == ".mzt" || ext == ".m12") {
        launch.media = Media::PROGRAM;
        why = mzf_problem(bytes);
    } else if (ext == ".dsk") {
        launch.media = Media::DISK;
        why = is_dsk(bytes) ? nullptr : "not an Extended DSK disk image";
    } else if (ext == ".mzq") {
        launch.media = Media::QUICK_DISK;
        why = is_mzq(bytes) ? nullptr : "not a Quick Disk image";
    } else if (ext == ".z80" || ext == ".sna") {
        launch.media = Media::SNAPSHOT;
        launch.z80 = ext == ".z80";
        why = zx_snapshot_problem(path.c_str(), launch.z80);
    } else if (ext == ".tap" || ext == ".tzx" || ext == ".wav") {
        launch.media = Media::TAPE;
        why = tape_file_problem(path);
    } else if (ext == ".pmd") {
        launch.media = Media::PMD_DISK;
        why = !bytes.empty() && bytes.size() % 128 == 0 ? nullptr : "not a PMD 85 disk image (whole 128-byte records)";
    } else if (ext == ".rmm") {
        launch.media = Media::PMD_MODULE;
        why = !bytes.empty() && bytes.size() <= 0x100000 ? nullptr : "not a PMD 85 ROM module (1 byte to 1 MiB)";
    } else if (is_dsk(bytes)) {
        launch.media = Media::DISK;
    } else if (!mzf_problem(bytes)) {
        launch.media = Media::PROGRAM;
    } else {
        return fail(path + ": not a file Kestrel can start (.mzf, .mzt, .m12, .dsk, .mzq, .z80, .sna, .tap, .tzx, .wav)");
    }
    if (why)
        return fail(path + ": " + why);
    if (launch.media == Media::PMD_DISK || launch.media == Media::PMD_MODULE)
        launch.start_name = first_pmd_name(bytes);
    if (launch.media == Media::PROGRAM)
        launch.program = std::move(bytes);
    return true;
}

bool take_machine(const std::string& name)
{
    const struct { const char* name; MachineKind kind; bool japanese; } MACHINES[] = {
        {"mz800", MZ800, false}, {"mz800jp", MZ800, true}, {"zx48", ZX48, false},
        {"zx128", ZX128, false}, {"pmd85", PMD85, false},
    };
    for (const auto& m : MACHINES)
        if (name == m.name) {
            launch.machine_given = true;
            launch.machine = m.kind;
            launch.japanese = m.japanese;
            return true;
        }
    return fail("--machine: no machine '" + name + "' (mz800, mz800jp, zx48, zx128, pmd85)");
}

// The options and FILE together.
bool consistent()
{
    const bool zx = launch.machine == ZX48 || launch.machine == ZX128;
    if (launch.machine_given && launch.media == Media::SNAPSHOT && !zx)
        return fail(launch.file + ": a ZX Spectrum snapshot does not start on another machine");
    if (launch.machine_given && launch.media == Media::TAPE && !zx)
        return fail(launch.file + ": a ZX Spectrum tape does not play on another machine");
    const bool pmd = launch.media == Media::PMD_DISK || launch.media == Media::PMD_MODULE;
    if (launch.machine_given && pmd && launch.machine != PMD85)
        return fail(launch.file + ": PMD 85 media do not start on another machine");
    const bool zx_media = launch.media == Media::SNAPSHOT || launch.media == Media::TAPE;
    if (launch.machine_given && launch.media != Media::NONE && !zx_media && !pmd &&
        !is_mz800_family(launch.machine))
        return fail(launch.file + ": MZ-800 media do not start on another machine");
    if (std::string error; !state_options_agree(error))
        return fail(error);
    const bool headless_only = launch.frames || !launch.screenshot.empty() || !launch.wav.empty() ||
                               !launch.type.empty() || launch.type_after;
    if (headless_only && !launch.headless)
        return fail("--frames, --screenshot, --wav and --type go with --headless");
    if (launch.headless && launch.frames == 0)
        return fail("--headless needs --frames N (a number above 0)");
    if (launch.headless && (launch.scale != 1 || launch.fullscreen))
        return fail("--scale and --fullscreen need the window; --headless has none");
    return true;
}

bool takes_value(const std::string& option)
{
    static const char* const WITH_VALUE[] = {"--machine", "--sd",  "--speed", "--scale",     "--frames",
                                             "--screenshot", "--wav", "--type", "--type-after", "--gdb",
                                             "--save-state", "--load-state"};
    return std::any_of(std::begin(WITH_VALUE), std::end(WITH_VALUE), [&](const char* o) { return option == o; });
}

bool parse(int argc, char** argv, bool& done)
{
    done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        const bool option = arg.size() > 2 && arg[0] == '-' && arg[1] == '-';
        if (option && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        } else if (takes_value(arg)) {
            if (i + 1 == argc)
                return fail(arg + " needs a value");
            value = argv[++i];
        }
        uint32_t n = 0;
        if (arg == "--help") {
            std::fputs(HELP, stdout);
            done = true;
            return true;
        } else if (arg == "--version") {
            std::printf("kestrel %s\nLicensed under the GNU General Public License, version 2 or later.\n", KESTREL_VERSION);
            done = true;
            return true;
        } else if (arg == "--machine") {
            if (!take_machine(value))
                return false;
        } else if (arg == "--sd") {
            if (value.empty())
                return fail("--sd needs a directory");
            launch.sd = value;
        } else if (arg == "--speed") {
            if (value == "max") {
                launch.speed = int32_t(SPEED_UNLIMITED);
            } else if (parse_count(value, n) && n >= 10 && n <= 200 && n % 10 == 0) {
                launch.speed = int32_t(n / 10);
            } else {
                return fail("--speed takes a percentage from 10 to 200 in steps of 10, or max");
            }
        } else if (arg == "--scale") {
            if (!parse_count(value, n) || n < 1 || n > 3)
                return fail("--scale takes 1, 2 or 3");
            launch.scale = int32_t(n);
        } else if (arg == "--fullscreen") {
            launch.fullscreen = true;
        } else if (arg == "--mute") {
            launch.mute = true;
        } else if (arg == "--headless") {
            launch.headless = true;
        } else if (arg == "--frames") {
            if (!parse_count(value, n) || n == 0)
                return fail("--frames takes a number of frames above 0");
            launch.frames = n;
        } else if (arg == "--gdb") {
            if (!parse_count(value, n) || n == 0 || n > 65535)
                return fail("--gdb takes a port number from 1 to 65535");
            launch.gdb_port = uint16_t(n);
        } else if (arg == "--type-after") {
            if (!parse_count(value, n))
                return fail("--type-after takes a frame number");
            launch.type_after = n;
        } else if (arg == "--screenshot" || arg == "--wav" || arg == "--type") {
            if (value.empty())
                return fail(arg + " needs a value");
            std::string& target = arg == "--screenshot" ? launch.screenshot : arg == "--wav" ? launch.wav : launch.type;
            target = value;
        } else if (std::string error; state_option(arg, value, error)) {
            if (error == "-")
                return false;
            if (!error.empty())
                return fail(error);
        } else if (option || (arg.size() > 1 && arg[0] == '-')) {
            return fail("unknown option '" + std::string(argv[i]) + "'");
        } else if (!launch.file.empty()) {
            return fail("one FILE at a time ('" + launch.file + "' and '" + arg + "')");
        } else if (!take_file(arg)) {
            return false;
        }
    }
    // "\n" in --type stands for Enter.
    std::string typed;
    for (size_t i = 0; i < launch.type.size(); ++i) {
        const bool enter = launch.type[i] == '\\' && i + 1 < launch.type.size() && launch.type[i + 1] == 'n';
        typed += enter ? '\n' : launch.type[i];
        i += enter ? 1 : 0;
    }
    launch.type = typed;
    return consistent();
}

// ---- Start-up and frame actions ----------------------------------------------------------

uint32_t program_start_frame = 0;
bool program_pending = false;
bool typing_queued = false;

// The program goes where the monitor's L puts it, and the monitor's J starts it, so that it
// runs as if loaded from the card and returns to the prompt. A PMD 85 medium's first program is
// started by the PMD 85 monitor's own L or R.
void start_program()
{
    if (launch.media != Media::PROGRAM) { // the PMD 85 monitor's L (disk) or R (module)
        std::string name = launch.start_name; // typed as small letters: the monitor sees capitals
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        type_text((launch.media == Media::PMD_DISK ? "l " : "r ") + name + "\n");
        return;
    }
    const std::vector<uint8_t>& p = launch.program;
    const uint16_t size = word(p, 0x12), load = word(p, 0x14), exec = word(p, 0x16);
    std::copy_n(p.begin() + 128, size, main_ram.begin() + load);
    char command[16];
    std::snprintf(command, sizeof command, "j %04x\n", exec);
    type_text(command);
}

} // namespace

CommandLine parse_command_line(int argc, char** argv)
{
    launch = Launch{};
    bool done = false;
    if (!parse(argc, argv, done))
        return CommandLine::EXIT_USAGE;
    if (done)
        return CommandLine::EXIT_OK;
    start_hooks = {launch_storage, launch_machine};
    frame_end_hook = launch_frame;
    start_muted = launch.mute;
    if (launch.gdb_port && !gdb_listen(launch.gdb_port))
        return CommandLine::EXIT_USAGE;
    // With arguments the card is made when it is missing, so that media and files have a home.
    if (argc > 1) {
        const std::string root = launch.sd.empty() ? "SD" : launch.sd;
        std::error_code error;
        fs::create_directories(fs::path(root) / "sidecar", error);
        if (error || fs_set_host_root(root.c_str()) != FS_OK) {
            fail(root + ": cannot be used as the storage root");
            return CommandLine::EXIT_USAGE;
        }
    }
    return CommandLine::RUN;
}

void launch_storage()
{
    if (launch.media == Media::DISK)
        attach_drive_file(0, launch.file.c_str());
    else if (launch.media == Media::QUICK_DISK)
        qd_insert_file(launch.file.c_str());
    else if (launch.media == Media::PMD_DISK)
        pmd_disk_insert_file(launch.file.c_str());
    else if (launch.media == Media::PMD_MODULE)
        rom_module_insert_file(launch.file.c_str());
}

void launch_machine()
{
    program_pending = false;
    typing_queued = false;
    typing_clear();
    const bool pmd = launch.media == Media::PMD_DISK || launch.media == Media::PMD_MODULE;
    if (launch.media == Media::SNAPSHOT) {
        zx_snapshot_restart([] { zx_load_file(launch.file.c_str(), launch.z80); });
    } else if (pmd) {
        request_machine(PMD85, 0);
        restart_machine();
    } else if (launch.media == Media::TAPE) {
        tape_deck_use(launch.file);
        const MachineKind kind = launch.machine_given ? launch.machine : ZX48;
        request_machine(kind, kind == ZX48 ? 1 : 0);
        restart_machine();
        if (launch.type.empty()) { // the tape's loader, once BASIC is up
            launch.type = tape_load_keys();
            launch.type_after = TAPE_START_FRAMES;
        }
    } else if (launch.machine_given && (launch.machine != MZ800 || launch.japanese)) {
        request_machine(launch.machine, launch.machine == ZX48 || launch.japanese ? 1 : 0);
        restart_machine();
        if (machine_kind == ZX48 && zx_loader_file()) // as F12 starts the 48K
            event_raise(EV_TAPE_TRAP);
    }
    if (launch.media == Media::PROGRAM || (pmd && !launch.start_name.empty())) {
        program_pending = true;
        program_start_frame = frame_pos.frames + PROGRAM_START_FRAMES;
    }
    if (launch.speed) {
        speed_setting = uint32_t(launch.speed);
        apply_speed(machine_kind);
    }
    state_options_start();
}

void launch_frame()
{
    if (program_pending && frame_pos.frames >= program_start_frame) {
        program_pending = false;
        start_program();
    }
    if (!launch.type.empty() && !typing_queued && frame_pos.frames >= launch.type_after) {
        typing_queued = true;
        type_text(launch.type);
    }
}

int run_headless()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1); // no sound device
    std::srand(1);                         // the AY noise: the same every run
    headless::simulate_clock(true);
    headless::power_on(launch.sd.empty() ? "SD" : launch.sd.c_str());
    speed_setting = launch.speed ? uint32_t(launch.speed) : 10;
    apply_speed(machine_kind);
    if (!state_options_loaded()) { // a loaded state brings its clock and credit along
        last_ticks = host_clock.ticks();
        cycle_credit = -cpu.cycles;
    }
    std::vector<int16_t> sound;
    headless::run_frames_timed(launch.frames, launch.wav.empty() ? nullptr : &sound);
    headless::simulate_clock(false);

    int status = 0;
    if (!launch.screenshot.empty()) {
        std::vector<uint8_t> image(SCREENSHOT_FILE_SIZE);
        screenshot_bytes(0, image.data(), SCREENSHOT_FILE_SIZE);
        std::ofstream out(launch.screenshot, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        if (!out) {
            std::fprintf(stderr, "kestrel: %s: cannot be written\n", launch.screenshot.c_str());
            status = 1;
        }
    }
    if (!state_options_finish())
        status = 1;
    if (!launch.wav.empty() && !headless::write_wav(launch.wav, sound)) {
        std::fprintf(stderr, "kestrel: %s: cannot be written\n", launch.wav.c_str());
        status = 1;
    }
    return status;
}
