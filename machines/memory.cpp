#include "machines/memory.h"

MainRam main_ram;
VideoRam video_ram;
std::array<PageReadFn, 16> page_read_slots; // filled at start-up (below) and by the machine families
std::array<PageWriteFn, 16> page_write;

namespace {

bool in_open_bus = false;

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
}
