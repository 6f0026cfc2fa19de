// The command line: what a run starts and how. `kestrel [OPTIONS] [FILE]` names a program, disk,
// Quick Disk or snapshot to start, another machine, storage root, speed, window size, and a
// headless run for scripts. Without arguments nothing here changes the program's start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machines/machine_kind.h"

enum class Media : uint8_t { NONE, PROGRAM, DISK, QUICK_DISK, SNAPSHOT, PMD_DISK, PMD_MODULE, TAPE };

struct Launch {
    Media media = Media::NONE;
    std::string file;                 // the FILE as given: a host path, read by the emulator only
    std::vector<uint8_t> program;     // an MZF program file's bytes
    bool z80 = false;                 // a .z80 snapshot (else .sna)
    std::string start_name;           // the first program in a PMD 85 disk's or module's directory
    bool machine_given = false;
    MachineKind machine = MZ800;
    bool japanese = false;
    std::string sd;                   // the storage root; empty: "SD"
    int32_t speed = 0;                // speed setting 1-21; 0: not given
    int32_t scale = 1;
    bool fullscreen = false;
    bool mute = false;
    bool headless = false;
    uint32_t frames = 0;
    std::string screenshot, wav, type;
    uint32_t type_after = 0;
    uint16_t gdb_port = 0;            // --gdb: the debugger's port; 0: no debugger
};
extern Launch launch;

enum class CommandLine { RUN, EXIT_OK, EXIT_USAGE };
// Reads the arguments into `launch`. --help and --version print to standard output (EXIT_OK);
// a bad option or unusable FILE prints one line and a hint to --help on standard error
// (EXIT_USAGE, status 2). Nothing is opened but the FILE, which is checked whole.
CommandLine parse_command_line(int argc, char** argv);

// The steps the command line adds to the start-up, installed as the start and frame-end hooks
// by parse_command_line: media into the drives once the storage is up; the machine, snapshot
// and speed after power-on; at every frame end, a program's start and typed keys.
void launch_storage();
void launch_machine();
void launch_frame();

// The whole headless run: the frames, then the screenshot and WAV files. Returns the exit status.
int run_headless();
