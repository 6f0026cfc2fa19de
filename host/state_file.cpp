#include "host/state_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/headless.h"
#include "host/state_registry.h"
#include "machines/machine.h"
#include "machines/mz800/mz800.h"

namespace {

constexpr uint8_t MAGIC[8] = {'K', 'S', 'T', 'A', 'T', 'E', 0, 0};
constexpr uint16_t FORMAT_VERSION = 1;
constexpr size_t HEADER_BYTES = 8 + 2 + 1 + 1 + 4;
constexpr size_t CHUNK_HEADER_BYTES = 4 + 2 + 2 + 4;
constexpr size_t KIND_ENTRY = 1; // the registry's block of the machine kind

constexpr std::array<uint32_t, 256> CRC_TABLE = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}();

uint32_t crc32(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
        c = CRC_TABLE[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put(uint8_t*& p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        *p++ = uint8_t(v >> (8 * i));
}

uint32_t get(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

// The checked file; its blocks are copied into the machine by state_apply.
std::vector<uint8_t> staged;
StateMachine staged_machine{};

} // namespace

StateMachine state_machine_now()
{
    if (is_mz800_family(machine_kind))
        return {MZ800, cg_japanese};
    return {machine_kind, false};
}

const char* state_machine_name(const StateMachine& machine)
{
    switch (machine.kind) {
    case ZX48: return "zx48";
    case ZX128: return "zx128";
    case PMD85: return "pmd85";
    default: return machine.japanese ? "mz800jp" : "mz800";
    }
}

size_t state_file_size()
{
    size_t n = HEADER_BYTES + 4;
    for (const StateEntry& e : state_entries())
        n += CHUNK_HEADER_BYTES + e.size;
    return n;
}

void state_write(uint8_t* out)
{
    state_gather();
    const StateMachine machine = state_machine_now();
    uint8_t* p = std::copy_n(MAGIC, sizeof MAGIC, out);
    put(p, FORMAT_VERSION, 2);
    put(p, machine.kind, 1);
    put(p, machine.japanese, 1);
    put(p, uint32_t(state_entries().size()), 4);
    for (const StateEntry& e : state_entries()) {
        p = std::copy_n(e.tag, 4, p);
        put(p, e.version, 2);
        put(p, 0, 2);
        put(p, e.size, 4);
        p = std::copy_n(e.data, e.size, p);
    }
    put(p, crc32(out, size_t(p - out)), 4);
}

const char* state_check(const uint8_t* bytes, size_t size, StateMachine& machine)
{
    if (size < HEADER_BYTES + 4 || !std::equal(MAGIC, MAGIC + sizeof MAGIC, bytes))
        return "not a Kestrel state file";
    if (size != state_file_size())
        return "truncated or of another size than this version's states";
    if (crc32(bytes, size - 4) != get(bytes + size - 4, 4))
        return "damaged (its checksum does not match)";
    if (get(bytes + 8, 2) != FORMAT_VERSION)
        return "saved by another version of Kestrel";
    const uint32_t kind = get(bytes + 10, 1);
    if ((kind != MZ800 && kind != ZX48 && kind != ZX128 && kind != PMD85) || bytes[11] > 1)
        return "saved on a machine Kestrel does not know";
    if (get(bytes + 12, 4) != state_entries().size())
        return "saved by another version of Kestrel (another set of blocks)";
    const uint8_t* p = bytes + HEADER_BYTES;
    for (const StateEntry& e : state_entries()) {
        if (!std::equal(e.tag, e.tag + 4, p) || get(p + 4, 2) != e.version || get(p + 8, 4) != e.size)
            return "saved by another version of Kestrel (a block differs)";
        // The machine the blocks belong to must be the one the header names (an MZ-800 in
        // either of its modes).
        const uint8_t saved = p[CHUNK_HEADER_BYTES];
        if (e.data == state_entries()[KIND_ENTRY].data &&
            !(saved == kind || (kind == MZ800 && saved == MZ700_MODE)))
            return "damaged (its blocks are another machine's)";
        p += CHUNK_HEADER_BYTES + e.size;
    }
    machine = {MachineKind(kind), bytes[11] != 0};
    staged.assign(bytes, bytes + size);
    staged_machine = machine;
    return nullptr;
}

void state_apply()
{
    if (staged.empty())
        return;
    // The machine the blocks were saved on, selected first: its handlers and tables are
    // installed, then the blocks overwrite whatever the selection set.
    const uint8_t* p = staged.data() + HEADER_BYTES;
    const StateEntry& kind = state_entries()[KIND_ENTRY];
    MachineKind saved = staged_machine.kind;
    for (const StateEntry& e : state_entries()) {
        if (&e == &kind)
            saved = MachineKind(p[CHUNK_HEADER_BYTES]);
        p += CHUNK_HEADER_BYTES + e.size;
    }
    state_select(saved);
    p = staged.data() + HEADER_BYTES;
    for (const StateEntry& e : state_entries()) {
        if (!e.beside || headless::clock_simulated())
            std::memcpy(e.data, p + CHUNK_HEADER_BYTES, e.size);
        p += CHUNK_HEADER_BYTES + e.size;
    }
    state_rebuild();
}

bool state_save_file(const char* host_path)
{
    std::vector<uint8_t> bytes(state_file_size());
    state_write(bytes.data());
    std::FILE* f = std::fopen(host_path, "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0)
        ok = false;
    if (!ok)
        std::fprintf(stderr, "kestrel: %s: the state cannot be written\n", host_path);
    return ok;
}

bool state_load_file(const char* host_path, StateMachine& machine)
{
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(host_path, "rb");
    if (f) {
        std::array<uint8_t, 65536> block;
        size_t n;
        while ((n = std::fread(block.data(), 1, block.size(), f)) > 0 && bytes.size() <= state_file_size())
            bytes.insert(bytes.end(), block.data(), block.data() + n);
        std::fclose(f);
    }
    const char* why = f ? state_check(bytes.data(), bytes.size(), machine) : "cannot be read";
    if (why)
        std::fprintf(stderr, "kestrel: %s: %s\n", host_path, why);
    return !why;
}
