// Fuzz target: the debugger's protocol as a client (or anything that reaches its port) speaks
// it: any bytes through the framer, and every packet it completes answered against a 64 KiB
// machine, so that no packet, number or length makes the parser read or write out of bounds.
#include <array>
#include <cstdint>

#include "host/gdb_protocol.h"

namespace {

struct FlatMachine final : gdb::Target {
    gdb::Registers regs{};
    std::array<uint8_t, 0x10000> memory{};

    gdb::Registers registers() override { return regs; }
    void set_register(int n, uint16_t v) override { regs.at(size_t(n)) = v; }
    bool peek(uint16_t a, uint8_t& v) override
    {
        v = memory[a];
        return a < 0xE000; // the top is I/O: nothing there
    }
    bool poke(uint16_t a, uint8_t v) override
    {
        memory[a] = v;
        return a >= 0x1000 && a < 0xE000;
    }
    bool insert(gdb::Point, uint16_t, uint32_t length) override { return length <= 0x10000; }
    void remove(gdb::Point, uint16_t, uint32_t) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FlatMachine machine;
    gdb::Framer framer;
    for (size_t i = 0; i < size; ++i)
        if (framer.feed(data[i]) == gdb::Framer::Input::PACKET)
            (void)gdb::frame(gdb::answer(framer.body(), machine, "T05").body);
    return 0;
}
