#include "host/snapshot.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/sound/ay8912.h"
#include "machines/zx/zx.h"

namespace {

constexpr uint32_t BANK = 0x4000;
constexpr uint32_t MAX_FILE = 512 * 1024; // a 128K snapshot stored uncompressed is 131 KiB
constexpr uint32_t T_FRAME_128 = 70908;   // 311 lines of 228 cycles
constexpr uint32_t T_QUARTER_128 = 17727;

FsFile snapshot_file;
std::array<uint8_t, MAX_FILE> file_bytes;

// What a file describes, gathered before anything of the machine changes.
struct Snapshot {
    CpuState cpu;
    bool is128;
    uint8_t border;
    uint8_t paging;
    bool has_ay;
    std::array<uint8_t, 16> ay;
    uint8_t ay_selected;
    bool has_position;
    int32_t cycles;
    std::array<std::array<uint8_t, BANK>, 8> banks; // ZX 128K banks 0-7 (the 48K's are 5, 2, 0)
};
Snapshot staged;

uint16_t word(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The reader of a file held in memory: every byte it hands out lies inside the file.
struct Reader {
    const uint8_t* data;
    uint32_t size;
    uint32_t at;
    uint32_t left() const { return size - at; }
};

// .z80 memory compression: EDh EDh n v stands for n bytes v; every other byte for itself.
// Decodes the `count` bytes at r into out, never past its end; returns the bytes produced.
uint32_t decompress(Reader& r, uint32_t count, uint8_t* out, uint32_t out_size)
{
    const uint32_t end = r.at + std::min(count, r.left());
    uint32_t n = 0;
    while (r.at < end && n < out_size) {
        if (r.data[r.at] == 0xED && r.at + 3 < end && r.data[r.at + 1] == 0xED) {
            const uint32_t run = std::min<uint32_t>(r.data[r.at + 2], out_size - n);
            std::fill_n(out + n, run, r.data[r.at + 3]);
            n += run;
            r.at += 4;
        } else {
            out[n++] = r.data[r.at++];
        }
    }
    r.at = end;
    return n;
}

// The store of a .z80 page: 3-10 are the 128K's banks 0-7; the 48K has pages 4, 5 and 8.
int bank_of_page(uint8_t page, bool is128)
{
    if (is128)
        return page >= 3 && page <= 10 ? page - 3 : -1;
    switch (page) {
    case 4: return 2;
    case 5: return 0;
    case 8: return 5;
    default: return -1;
    }
}

constexpr int BANKS_48K[3] = {5, 2, 0}; // 4000h, 8000h, C000h

void stage_current_memory()
{
    for (int b = 0; b < 8; ++b)
        std::copy_n(zx128_bank(b), BANK, staged.banks[size_t(b)].data());
}

// The 48K image of 4000h-FFFFh, linear, into the three banks it covers.
void stage_48k_image(const uint8_t* image)
{
    for (int i = 0; i < 3; ++i)
        std::copy_n(image + i * BANK, BANK, staged.banks[size_t(BANKS_48K[i])].data());
}

// Returns the reason a .z80 file cannot be loaded, or null once `staged` holds it.
const char* parse_z80(Reader r)
{
    if (r.size < 30)
        return "shorter than the 30-byte header";
    const uint8_t* h = r.data;
    CpuState& c = staged.cpu;
    const uint8_t b12 = h[12] == 0xFF ? 0x01 : h[12];
    c.af = uint16_t(h[0] << 8 | h[1]);
    c.bc = word(h + 2);
    c.hl = word(h + 4);
    c.pc = word(h + 6);
    c.sp = word(h + 8);
    c.i = h[10];
    c.r = uint8_t((h[11] & 0x7F) | (b12 & 1) << 7);
    c.de = word(h + 13);
    c.bc2 = word(h + 15);
    c.de2 = word(h + 17);
    c.hl2 = word(h + 19);
    c.af2 = uint16_t(h[21] << 8 | h[22]);
    c.iy = word(h + 23);
    c.ix = word(h + 25);
    const uint8_t im = h[29] & 3;
    c.control = uint8_t((h[27] ? CTRL_IFF1 : 0) | (h[28] ? CTRL_IFF2 : 0) | (im == 1 ? CTRL_IM1 : 0) |
                        (im == 2 ? CTRL_IM2 : 0));
    staged.border = (b12 >> 1) & 7;
    r.at = 30;

    if (c.pc != 0) { // version 1: a 48K image
        std::array<uint8_t, 3 * BANK> image;
        if (b12 & 0x20) {
            if (decompress(r, r.left(), image.data(), uint32_t(image.size())) < image.size())
                return "its compressed memory image ends before 10000h";
        } else {
            if (r.left() < image.size())
                return "shorter than its 48K memory image";
            std::copy_n(r.data + r.at, image.size(), image.data());
        }
        stage_48k_image(image.data());
        return nullptr;
    }

    // Versions 2 and 3: an additional header, then memory blocks.
    if (r.left() < 2)
        return "shorter than its additional header";
    const uint32_t length = word(r.data + r.at);
    r.at += 2;
    if (r.left() < length)
        return "shorter than its additional header";
    std::array<uint8_t, 64> x{}; // the fields used lie in the first 64 bytes; the rest is skipped
    std::copy_n(r.data + r.at, std::min<uint32_t>(length, uint32_t(x.size())), x.data());
    r.at += length;
    c.pc = word(&x[0]);
    const uint8_t hardware = x[2];
    staged.is128 = hardware > 3 || (hardware == 3 && length <= 53);
    staged.paging = x[3];
    staged.has_ay = true;
    std::copy_n(&x[7], 16, staged.ay.data());
    staged.ay_selected = x[6];
    if (length > 25) {
        const uint32_t q = x[25] & 3;
        const uint32_t t = staged.is128 ? 138852 - q * 17727 : 136640 - q * 17472;
        staged.has_position = true;
        staged.cycles = -int32_t(t - (word(&x[23]) & 0x7FFF));
    }
    while (r.left() >= 3) {
        const uint32_t block = word(r.data + r.at);
        const uint8_t page = r.data[r.at + 2];
        r.at += 3;
        const int b = bank_of_page(page, staged.is128);
        if (b < 0) {
            static char why[64];
            std::snprintf(why, sizeof why, "page %u is not a page of the ZX %s", page, staged.is128 ? "128K" : "48K");
            return why;
        }
        uint8_t* out = staged.banks[size_t(b)].data();
        if (block == 0xFFFF) {
            if (r.left() < BANK)
                return "a memory block is cut short";
            std::copy_n(r.data + r.at, BANK, out);
            r.at += BANK;
        } else {
            if (r.left() < block)
                return "a memory block is cut short";
            decompress(r, block, out, BANK);
        }
    }
    return nullptr;
}

const char* parse_sna(Reader r)
{
    constexpr uint32_t HEADER = 27;
    if (r.size < HEADER + 3 * BANK)
        return "shorter than a 48K .sna file";
    const uint8_t* h = r.data;
    CpuState& c = staged.cpu;
    c.i = h[0];
    c.hl2 = word(h + 1);
    c.de2 = word(h + 3);
    c.bc2 = word(h + 5);
    c.af2 = word(h + 7);
    c.hl = word(h + 9);
    c.de = word(h + 11);
    c.bc = word(h + 13);
    c.iy = word(h + 15);
    c.ix = word(h + 17);
    c.r = h[20];
    c.af = word(h + 21);
    c.sp = word(h + 23);
    c.control = uint8_t(((h[19] & 0x04) ? CTRL_IFF2 : 0) | (h[25] == 1 ? CTRL_IM1 : 0) | (h[25] == 2 ? CTRL_IM2 : 0));
    // At 0072h the 48K ROM holds a RETN: the machine continues from the address on the stack
    // with IFF1 taken from IFF2.
    c.pc = 0x0072;
    staged.border = h[26] & 7;
    stage_48k_image(h + HEADER);
    return nullptr;
}

// Puts the staged snapshot into the machine.
void apply()
{
    io_write(0xFE, staged.border);
    if (staged.is128) {
        select_machine(ZX128);
        zx128_paging = 0;
        io_write(0x7FFD, staged.paging);
    }
    for (int b = 0; b < 8; ++b)
        std::copy_n(staged.banks[size_t(b)].data(), BANK, zx128_bank(b));
    if (staged.has_ay) {
        for (int reg = 15; reg >= 0; --reg) {
            ay_select_write(uint8_t(reg));
            ay_data_write(staged.ay[size_t(reg)]);
        }
        ay_select_write(staged.ay_selected);
    }
    const CpuState& s = staged.cpu;
    cpu.af = s.af, cpu.bc = s.bc, cpu.de = s.de, cpu.hl = s.hl;
    cpu.af2 = s.af2, cpu.bc2 = s.bc2, cpu.de2 = s.de2, cpu.hl2 = s.hl2;
    cpu.ix = s.ix, cpu.iy = s.iy, cpu.sp = s.sp, cpu.pc = s.pc;
    cpu.i = s.i, cpu.r = s.r;
    cpu.control = s.control;
    if (staged.has_position)
        cpu.cycles = staged.cycles;
}

// The three characters before `end`, in either case.
bool has_extension(uint16_t end, const char* ext)
{
    for (int k = 0; k < 3; ++k)
        if (std::tolower(main_ram[end - 3 + k]) != ext[k])
            return false;
    return true;
}

} // namespace

namespace {

// Reads the open snapshot file whole and stages what it describes; the reason it cannot be
// loaded, or null.
const char* stage_file(bool z80)
{
    const uint32_t size = snapshot_file.size;
    uint32_t done = 0;
    const bool too_large = size > MAX_FILE;
    const bool read = !too_large && fs_read(&snapshot_file, file_bytes.data(), size, &done) == FS_OK && done == size;
    fs_close(&snapshot_file);
    if (too_large)
        return "too large for a snapshot";
    if (!read)
        return "cannot be read";
    staged.cpu = cpu;
    staged.is128 = staged.has_ay = staged.has_position = false;
    stage_current_memory();
    const Reader r{file_bytes.data(), size, 0};
    return z80 ? parse_z80(r) : parse_sna(r);
}

bool load_open_file(const char* name, bool z80)
{
    const char* why = stage_file(z80);
    if (why) {
        std::fprintf(stderr, "kestrel: snapshot %s: %s; nothing loaded\n", name, why);
        return false;
    }
    apply();
    return true;
}

} // namespace

bool zx_names_snapshot()
{
    uint16_t end = ZX_NAME_AREA;
    while (end < ZX_NAME_AREA_END && main_ram[end] != 0x22)
        ++end;
    return end >= ZX_NAME_AREA + 3 && (has_extension(end, "z80") || has_extension(end, "sna"));
}

void zx_load_trap()
{
    uint16_t end = ZX_NAME_AREA;
    while (end < ZX_NAME_AREA_END && main_ram[end] != 0x22)
        ++end;
    main_ram[end] = 0;
    if (end < ZX_NAME_AREA + 3)
        return;
    const bool z80 = has_extension(end, "z80");
    if (!z80 && !has_extension(end, "sna"))
        return;
    const char* name = reinterpret_cast<const char*>(&main_ram[ZX_NAME_AREA]);
    if (fs_open(&snapshot_file, name, FS_READ) == FS_OK)
        load_open_file(name, z80);
}

bool zx_load_file(const char* host_path, bool z80)
{
    return fs_open_host(&snapshot_file, host_path, FS_READ) == FS_OK && load_open_file(host_path, z80);
}

const char* zx_snapshot_problem(const char* host_path, bool z80)
{
    if (fs_open_host(&snapshot_file, host_path, FS_READ) != FS_OK)
        return "cannot be opened";
    return stage_file(z80);
}

bool zx_loader_file()
{
    if (fs_open(&snapshot_file, "/sidecar/zxloader.cfg", FS_READ) != FS_OK)
        return false;
    constexpr uint32_t LOADER_NAME_MAX = 250;
    uint32_t done = 0;
    const FsResult result = fs_read(&snapshot_file, &main_ram[ZX_NAME_AREA], LOADER_NAME_MAX, &done);
    fs_close(&snapshot_file);
    if (result != FS_OK || done == 0)
        return false;
    uint32_t n = 0;
    while (n < done && main_ram[ZX_NAME_AREA + n] >= 0x20)
        ++n;
    main_ram[ZX_NAME_AREA + n] = 0x22; // the closing quote of LOAD "name"
    main_ram[ZX_NAME_AREA + n + 1] = 0x00;
    return true;
}

bool z80_save(FsFile* file)
{
    std::array<uint8_t, 86> h{};
    const CpuState& c = cpu;
    const auto put = [&h](size_t at, uint16_t v) {
        h[at] = uint8_t(v);
        h[at + 1] = uint8_t(v >> 8);
    };
    h[0] = hi(c.af), h[1] = lo(c.af);
    put(2, c.bc);
    put(4, c.hl);
    put(8, c.sp);
    h[10] = c.i;
    h[11] = c.r & 0x7F;
    h[12] = uint8_t((c.r >> 7) | (picture_state.border_colour & 7) << 1);
    put(13, c.de);
    put(15, c.bc2);
    put(17, c.de2);
    put(19, c.hl2);
    h[21] = hi(c.af2), h[22] = lo(c.af2);
    put(23, c.iy);
    put(25, c.ix);
    h[27] = (c.control & CTRL_IFF1) ? 1 : 0;
    h[28] = (c.control & CTRL_IFF2) ? 1 : 0;
    h[29] = uint8_t(((c.control & CTRL_IM2) ? 2 : (c.control & CTRL_IM1) ? 1 : 0) | 0x40);
    put(30, 54);
    put(32, c.pc);
    h[34] = 4; // ZX 128K
    h[35] = zx128_paging;
    h[37] = 7;
    h[38] = ay.select;
    std::copy(ay.regs.begin(), ay.regs.end(), h.begin() + 39);
    // The frame position in the format's terms: a count down from the frame's end in quarters.
    const uint32_t v = T_FRAME_128 - ((uint32_t(-c.cycles) + 2964) % T_FRAME_128);
    put(55, uint16_t(v % T_QUARTER_128));
    h[57] = uint8_t(v / T_QUARTER_128);

    uint32_t done = 0;
    bool ok = fs_write(file, h.data(), uint32_t(h.size()), &done) == FS_OK && done == h.size();
    for (uint8_t page = 3; page <= 10 && ok; ++page) {
        const uint8_t block[3] = {0xFF, 0xFF, page};
        ok = fs_write(file, block, 3, &done) == FS_OK && done == 3 &&
             fs_write(file, zx128_bank(page - 3), BANK, &done) == FS_OK && done == BANK;
    }
    return ok;
}
