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

const uint8_t* no_read_bytes(PageReadFn, uint32_t) { return nullptr; }
uint8_t* no_write_bytes(PageWriteFn, uint32_t) { return nullptr; }

PageBytesHooks family_bytes = {no_read_bytes, no_write_bytes};

// Before any machine is selected every page floats.
const bool SLOTS_FLOATING = [] {
    page_read_slots.fill(rd_open_bus);
    page_write.fill(wr_ignore);
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
    const uint8_t v = uint8_t(page_read_slots[last >> 12](last));
    in_open_bus = false;
    return v;
}

void map_pages(int first, int last, PageReadFn read, PageWriteFn write)
{
    for (int page = first; page <= last; ++page) {
        page_read_slots[page] = read;
        page_write[page] = write;
    }
    sync_direct_pages(first, last);
}

void install_page_bytes(const PageBytesHooks& hooks) { family_bytes = hooks; }

void sync_direct_pages(int first, int last)
{
    for (int page = first; page <= last; ++page) {
        const uint32_t base = uint32_t(page) << 12;
        const PageReadFn read = page_read_slots[page];
        const PageWriteFn write = page_write[page];
        page_read_direct[page] = read == rd_ram ? &main_ram[base] : family_bytes.read(read, base);
        page_write_direct[page] = write == wr_ram ? &main_ram[base] : family_bytes.write(write, base);
    }
}
