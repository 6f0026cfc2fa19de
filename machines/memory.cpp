#include "machines/memory.h"

#include "cpu/machine_interface.h"

MainRam main_ram;
VideoRam video_ram;
std::array<PageReadFn, 16> page_read_slots; // filled at start-up (below) and by the machine families
std::array<PageWriteFn, 16> page_write;
std::array<const uint8_t*, 16> page_read_direct;
std::array<uint8_t*, 16> page_write_direct;

namespace {

bool in_open_bus = false;

// The machine's handlers; the CPU's slots hold them, or the watching handlers for watched pages.
std::array<PageReadFn, 16> machine_read;
std::array<PageWriteFn, 16> machine_write;
uint16_t watched_reads = 0, watched_writes = 0;
WatchFn watch_seen = nullptr;

int watched_read(uint16_t a)
{
    watch_seen(a, false);
    return machine_read[a >> 12](a);
}

void watched_write(uint16_t a, uint8_t v)
{
    watch_seen(a, true);
    machine_write[a >> 12](a, v);
}

void place_slots(int page)
{
    page_read_slots[page] = (watched_reads >> page) & 1 ? watched_read : machine_read[page];
    page_write[page] = (watched_writes >> page) & 1 ? watched_write : machine_write[page];
}

const uint8_t* no_read_bytes(PageReadFn, uint32_t) { return nullptr; }
uint8_t* no_write_bytes(PageWriteFn, uint32_t) { return nullptr; }

PageBytesHooks family_bytes = {no_read_bytes, no_write_bytes};

// Before any machine is selected every page floats.
const bool SLOTS_FLOATING = [] {
    machine_read.fill(rd_open_bus);
    machine_write.fill(wr_ignore);
    page_read_slots = machine_read;
    page_write = machine_write;
    return true;
}();

} // namespace

int rd_ram(uint16_t a) { return main_ram[a]; }
void wr_ram(uint16_t a, uint8_t v) { main_ram[a] = v; }
void wr_ignore(uint16_t, uint8_t) {}
int rd_open_bus(uint16_t) { return open_bus(); }

uint8_t open_bus()
{
    // A fetch from a page that itself reads as open bus would ask for its own byte again.
    if (in_open_bus)
        return 0xFF;
    in_open_bus = true;
    const uint16_t last = uint16_t(cpu.pc - 1);
    const uint8_t v = uint8_t(machine_read[last >> 12](last));
    in_open_bus = false;
    return v;
}

void map_pages(int first, int last, PageReadFn read, PageWriteFn write)
{
    for (int page = first; page <= last; ++page) {
        machine_read[page] = read;
        machine_write[page] = write;
        place_slots(page);
    }
    sync_direct_pages(first, last);
}

void install_page_bytes(const PageBytesHooks& hooks) { family_bytes = hooks; }

void sync_direct_pages(int first, int last)
{
    for (int page = first; page <= last; ++page) {
        const uint32_t base = uint32_t(page) << 12;
        const PageReadFn read = machine_read[page];
        const PageWriteFn write = machine_write[page];
        page_read_direct[page] = read == rd_ram ? &main_ram[base] : family_bytes.read(read, base);
        page_write_direct[page] = write == wr_ram ? &main_ram[base] : family_bytes.write(write, base);
        // A watched page has its accesses seen, so the CPU must go through its slot.
        if ((watched_reads >> page) & 1)
            page_read_direct[page] = nullptr;
        if ((watched_writes >> page) & 1)
            page_write_direct[page] = nullptr;
    }
}

bool debug_read(uint16_t address, uint8_t& value)
{
    const int page = address >> 12;
    const PageReadFn read = machine_read[page];
    const uint32_t base = uint32_t(page) << 12;
    const uint8_t* bytes = read == rd_ram ? &main_ram[base] : family_bytes.read(read, base);
    if (bytes) {
        value = bytes[address & 0x0FFF];
        return true;
    }
    return family_bytes.peek && family_bytes.peek(read, address, value);
}

bool debug_write(uint16_t address, uint8_t value)
{
    const int page = address >> 12;
    const PageWriteFn write = machine_write[page];
    const uint32_t base = uint32_t(page) << 12;
    if (uint8_t* bytes = write == wr_ram ? &main_ram[base] : family_bytes.write(write, base)) {
        bytes[address & 0x0FFF] = value;
        return true;
    }
    return family_bytes.poke && family_bytes.poke(write, address, value);
}

void watch_pages(uint16_t read_pages, uint16_t write_pages, WatchFn seen)
{
    watched_reads = seen ? read_pages : 0;
    watched_writes = seen ? write_pages : 0;
    watch_seen = seen;
    for (int page = 0; page < 16; ++page)
        place_slots(page);
    sync_direct_pages();
}

PageWriteFn machine_page_write(int page) { return machine_write[page]; }
PageReadFn machine_page_read(int page) { return machine_read[page]; }
