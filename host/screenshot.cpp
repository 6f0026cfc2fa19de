#include "host/screenshot.h"

#include <array>
#include <cstring>

#include "host/frame.h"
#include "host/storage.h"
#include "machines/machine_kind.h"
#include "machines/picture.h"

namespace {

constexpr uint32_t HEADER_SIZE = 118; // file header, information header, 16-colour palette
constexpr uint32_t ROW_BYTES = 400;   // 800 dots of 4 bits
constexpr uint32_t CHUNK = 1024;

void put16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

std::array<uint8_t, HEADER_SIZE> make_header()
{
    std::array<uint8_t, HEADER_SIZE> h{};
    h[0] = 'B';
    h[1] = 'M';
    put32(&h[2], SCREENSHOT_FILE_SIZE);
    put32(&h[10], HEADER_SIZE);
    put32(&h[14], 40);
    put32(&h[18], 800);
    put32(&h[22], 600); // positive: bottom row first
    put16(&h[26], 1);
    put16(&h[28], 4);
    put32(&h[34], 240000);
    for (size_t i = 0; i < HOST_COLOURS.size(); ++i) {
        h[54 + 4 * i] = HOST_COLOURS[i].b;
        h[55 + 4 * i] = HOST_COLOURS[i].g;
        h[56 + 4 * i] = HOST_COLOURS[i].r;
    }
    return h;
}

const char* name_template()
{
    switch (machine_kind) {
    case ZX48:
    case ZX128: return "/sidecar/ZX_00000.BMP";
    case PMD85: return "/sidecar/PMD00000.BMP";
    default: return "/sidecar/MZ_00000.BMP";
    }
}

} // namespace

void screenshot_bytes(uint32_t offset, uint8_t* out, uint32_t count)
{
    static const std::array<uint8_t, HEADER_SIZE> HEADER = make_header();
    std::array<uint8_t, ROW_BYTES> row;
    int row_line = -1;
    for (uint32_t i = 0; i < count; ++i, ++offset) {
        if (offset < HEADER_SIZE) {
            out[i] = HEADER[offset];
            continue;
        }
        // File rows run bottom up, two per emulated line.
        const uint32_t pixel = offset - HEADER_SIZE;
        const int line = 299 - int(pixel / ROW_BYTES) / 2;
        if (line != row_line) {
            picture.screenshot_line(line, row.data());
            row_line = line;
        }
        out[i] = row[pixel % ROW_BYTES];
    }
}

uint32_t next_shot_number(const char* prefix)
{
    FsDir dir{};
    if (fs_opendir(&dir, "/sidecar") != FS_OK)
        return 1;
    uint32_t highest = 0;
    FsEntry entry{};
    while (fs_readdir(&dir, &entry) == FS_OK && entry.short_name[0] != '\0') {
        const char* name = entry.short_name;
        if (std::strlen(name) < 12 || std::strncmp(name, prefix, 3) != 0 || std::strncmp(name + 9, "BMP", 3) != 0)
            continue;
        uint32_t n = 0;
        for (int i = 3; i < 8; ++i)
            n = n * 10 + uint32_t(name[i] >= '0' && name[i] <= '9' ? name[i] - '0' : 0);
        if (n > highest)
            highest = n;
    }
    fs_closedir(&dir);
    return highest + 1;
}

bool take_screenshot()
{
    const char* tmpl = name_template();
    char name[22];
    std::memcpy(name, tmpl, sizeof name);
    uint32_t n = next_shot_number(&tmpl[9]);
    for (int pos = 16; pos >= 12; --pos, n /= 10)
        name[pos] = char('0' + n % 10);

    FsFile file{};
    if (fs_open(&file, name, FS_CREATE_NEW | FS_WRITE) != FS_OK)
        return false;
    uint8_t chunk[CHUNK];
    for (uint32_t offset = 0; offset < SCREENSHOT_FILE_SIZE; offset += CHUNK) {
        const uint32_t count = offset + CHUNK <= SCREENSHOT_FILE_SIZE ? CHUNK : SCREENSHOT_FILE_SIZE - offset;
        screenshot_bytes(offset, chunk, count);
        uint32_t done = 0;
        fs_write(&file, chunk, count, &done);
    }
    fs_close(&file);
    return true;
}
