#include "host/tape_deck.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "cpu/cpu.h"
#include "host/frame.h"
#include "host/storage.h"
#include "host/tape_file.h"
#include "machines/keyboard.h"
#include "machines/status_line.h"
#include "machines/zx/zx.h"
#include "roms/rom_images.h"

namespace {

constexpr const char* TAPE_CONFIG = "/sidecar/zxtape.cfg";
constexpr const char* SAVE_TAPE = "/sidecar/zxsave.tap";
constexpr uint32_t QUIET_FRAMES = 50; // a second without reading the tape ends the fast-forward
// A loader sees an edge of the tape at every pulse, 30 or more a frame; a program that only
// scans the keyboard reads the port 8 times a frame and cannot see so many.
constexpr uint32_t EDGES_READING = 16;
constexpr uint32_t PATH_MAX_CFG = 250;

std::string command_line_tape; // a host path; empty: zxtape.cfg decides
std::string card_tape;         // the inserted tape's card path, when it came from the card
FsFile tape_file;
MediaHeld held_tape;           // the inserted tape's name and fingerprint

bool is_zx() { return machine_kind == ZX48 || machine_kind == ZX128; }

// Reads an open tape file whole and parses it; the reason it cannot be played, or null.
const char* read_open_file(const std::string& name, TapeImage& image)
{
    const uint32_t size = tape_file.size;
    if (size > TAPE_FILE_MAX) {
        fs_close(&tape_file);
        return "too large for a tape";
    }
    std::vector<uint8_t> bytes(size);
    uint32_t done = 0;
    const bool read = fs_read(&tape_file, bytes.data(), size, &done) == FS_OK && done == size;
    fs_close(&tape_file);
    if (!read)
        return "cannot be read";
    TapeFormat format;
    if (!tape_format_of(name, format))
        return "not a tape file (.tap, .tzx, .wav)";
    return tape_parse(format, bytes.data(), size, name.c_str(), image);
}

// Inserts a tape from the card (host false) or a host path; says why on standard error when not.
bool insert(const std::string& name, bool host)
{
    TapeImage image;
    const FsResult opened = host ? fs_open_host(&tape_file, name.c_str(), FS_READ) : fs_open(&tape_file, name.c_str(), FS_READ);
    MediaHeld held{};
    if (opened == FS_OK)
        media_hold(held, name.c_str(), host, tape_file);
    const char* why = opened == FS_OK ? read_open_file(name, image) : "cannot be opened";
    if (why) {
        std::fprintf(stderr, "kestrel: tape %s: %s; no tape inserted\n", name.c_str(), why);
        return false;
    }
    tape_insert(std::move(image));
    held_tape = held;
    // Kept from the top of the card: a program may change the current directory meanwhile.
    card_tape = host ? "" : name[0] == '/' ? name : "/" + name;
    return true;
}

// The card path named on the first line of zxtape.cfg, or empty.
std::string configured_tape()
{
    if (fs_open(&tape_file, TAPE_CONFIG, FS_READ) != FS_OK)
        return "";
    std::array<char, PATH_MAX_CFG> line{};
    uint32_t done = 0;
    const FsResult result = fs_read(&tape_file, line.data(), uint32_t(line.size()), &done);
    fs_close(&tape_file);
    std::string name;
    for (uint32_t i = 0; result == FS_OK && i < done && uint8_t(line[i]) >= 0x20; ++i)
        name += line[i];
    return name;
}

bool is_tap(const std::string& name)
{
    TapeFormat format;
    return tape_format_of(name, format) && format == TapeFormat::TAP;
}

// SAVE: the block goes at the end of its .tap file with its 16-bit length, written at once.
void save_block()
{
    static std::array<uint8_t, 0x10002> block;
    const uint32_t n = tape_save_trap(block.data());
    const bool to_inserted = cassette.inserted && !card_tape.empty() && is_tap(card_tape);
    const std::string target = to_inserted ? card_tape : SAVE_TAPE;
    if (n > 0xFFFF) { // 65535 bytes and more: no .tap length can say it
        std::fprintf(stderr, "kestrel: SAVE: a block of %u bytes does not fit a .tap file; not written\n", unsigned(n));
        return;
    }
    const uint8_t length[2] = {uint8_t(n), uint8_t(n >> 8)};
    uint32_t done = 0, done2 = 0;
    const bool opened = fs_open(&tape_file, target.c_str(), FS_OPEN_ALWAYS | FS_WRITE) == FS_OK;
    const uint32_t old_size = tape_file.size;
    const bool ok = opened && fs_seek(&tape_file, old_size) == FS_OK && fs_write(&tape_file, length, 2, &done) == FS_OK &&
                    fs_write(&tape_file, block.data(), n, &done2) == FS_OK && done == 2 && done2 == n;
    if (opened && !ok && fs_seek(&tape_file, old_size) == FS_OK) // no half block is left behind
        fs_truncate(&tape_file);
    fs_close(&tape_file);
    if (!ok) {
        std::fprintf(stderr, "kestrel: SAVE: %s cannot be written\n", target.c_str());
        return;
    }
    // The tape that was written to goes (back) in with the new block on it: an inserted one
    // keeps its place; a fresh one stands after the block just recorded.
    const bool fresh = !cassette.inserted;
    if (!to_inserted && !fresh)
        return;
    const uint32_t span = cassette.span;
    if (!insert(target, false))
        return;
    tape_seek(fresh ? uint32_t(tape_image.spans.size()) : span);
    held_tape.written = !fresh; // the same tape, grown by this run: a rewind across the SAVE keeps it
}

// The status line's columns 21-30 (the filter read-out's place) while a tape is inserted:
// T, > while it plays, the block and the count.
void show_on_status_line()
{
    if (!cassette.inserted || !is_zx())
        return;
    const uint32_t count = std::min<uint32_t>(uint32_t(tape_image.blocks.size()), 999);
    const uint32_t at = std::min<uint32_t>(cassette.block + 1, count);
    char text[32];
    std::snprintf(text, sizeof text, "T%c%u/%u         ", cassette.playing ? '>' : ' ', unsigned(at), unsigned(count));
    text[10] = 0;
    status_line.cursor = 21;
    status_print(text);
}

// The window runs at unlimited speed and silent while a program reads the playing tape.
void fast_forward()
{
    static bool fast = false;
    static uint32_t chosen_speed = 10;
    static uint32_t quiet = 0;
    static bool was_playing = false;
    if (cassette.playing && (cassette.edges_read >= EDGES_READING || !was_playing))
        quiet = 0;
    else
        ++quiet;
    was_playing = cassette.playing;
    cassette.edges_read = 0;
    const bool want = screen && is_zx() && cassette.playing && quiet < QUIET_FRAMES;
    if (want == fast)
        return;
    fast = want;
    if (fast) {
        chosen_speed = speed_setting;
        speed_setting = SPEED_UNLIMITED;
        volume = 0;
    } else {
        speed_setting = chosen_speed;
        volume = VOLUME_TABLE[size_t(volume_index)];
    }
    event_raise(EV_SPEED);
}

// F7 and F8 on the ZX, seen as the presses reach the key matrix (no ZX key reads them).
void host_keys()
{
    static bool f7 = false, f8 = false;
    const bool f7_now = key_held(KEY_F7), f8_now = key_held(KEY_F8);
    if (is_zx() && f7_now && !f7)
        tape_play(!cassette.playing);
    if (is_zx() && f8_now && !f8)
        tape_rewind();
    f7 = f7_now;
    f8 = f8_now;
}

} // namespace

const char* tape_file_problem(const std::string& host_path)
{
    if (fs_open_host(&tape_file, host_path.c_str(), FS_READ) != FS_OK)
        return "cannot be opened";
    TapeImage image;
    return read_open_file(host_path, image);
}

void tape_deck_use(const std::string& host_path) { command_line_tape = host_path; }

void tape_deck_machine_started()
{
    tape_eject();
    card_tape.clear();
    held_tape = MediaHeld{};
    if (!command_line_tape.empty()) {
        insert(command_line_tape, true);
        return;
    }
    const std::string name = configured_tape();
    if (!name.empty())
        insert(name, false);
}

const char* tape_load_keys()
{
    // OpenSE's 128K editor ROM pages in its 48K BASIC at once (LD BC,7FFDh; LD A,10h; OUT (C),A).
    static const uint8_t PAGES_BASIC[] = {0x01, 0xFD, 0x7F, 0x3E, 0x10, 0xED, 0x79};
    const bool menu = machine_kind == ZX128 && !std::equal(std::begin(PAGES_BASIC), std::end(PAGES_BASIC), ZX128_ROM0.begin());
    return menu ? "\n" : "load \"\"\n";
}

bool tape_deck_trap()
{
    switch (cassette.trap) {
    case TRAP_LOAD: tape_load_trap(); return true;
    case TRAP_SAVE: save_block(); return true;
    default: return false;
    }
}

void tape_deck_frame()
{
    host_keys();
    tape_catch_up();
    show_on_status_line();
    fast_forward();
}

TapeMedia tape_media{};

void tape_media_gather() { media_gather(held_tape, tape_media.tape, nullptr); }

void tape_media_rebuild(MediaReport report)
{
    const MediaRecord recorded = tape_media.tape;
    if (media_same(recorded, held_tape))
        return;
    const Cassette head = cassette; // where the state left the tape
    tape_eject();
    card_tape.clear();
    FsFile file{};
    const bool there = media_reopen(recorded, file, FS_READ, held_tape, report);
    fs_close(&file);
    if (there && insert(recorded.path.data(), recorded.host != 0))
        cassette = head;
    else if (media_present(recorded)) // no tape in
        held_tape = MediaHeld{};
    else
        cassette = head;
}
