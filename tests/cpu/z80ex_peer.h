// A second, independent Z80: the z80ex library running over its own 64 KiB of RAM, with
// every memory write and port access logged. The differential tests run it beside the
// core and compare the two after every instruction.
#pragma once

#include <z80ex.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

// The programmer-visible Z80 state, in the form both cores can be read into.
struct Z80Registers {
    uint16_t af, bc, de, hl, ix, iy, pc, sp;
    uint16_t af2, bc2, de2, hl2;
    uint8_t i;
    uint8_t r;  // the refresh counter; only bits 0-6 count on a real Z80
    uint8_t r7; // bit 7 of R as last written by LD R,A
    uint8_t im; // interrupt mode 0, 1 or 2
    bool iff1, iff2;
};

struct BusWrite {
    uint16_t address;
    uint8_t value;
    friend bool operator==(const BusWrite&, const BusWrite&) = default;
    friend auto operator<=>(const BusWrite&, const BusWrite&) = default;
};

struct PortAccess {
    bool is_write;
    uint16_t port;
    uint8_t value;
    friend bool operator==(const PortAccess&, const PortAccess&) = default;
};

// The byte every emulated input port answers: a fixed function of the full 16-bit address,
// so that both cores read the same value and a wrong high address byte shows up in the data.
constexpr uint8_t port_answer(uint16_t port)
{
    return uint8_t((port >> 8) * 37u + (port & 0xFFu) * 101u + 0x5Bu);
}

class Z80exPeer {
public:
    Z80exPeer();
    ~Z80exPeer();
    Z80exPeer(const Z80exPeer&) = delete;
    Z80exPeer& operator=(const Z80exPeer&) = delete;

    Z80Registers registers() const;
    void set_registers(const Z80Registers& regs);

    // Executes one whole instruction (z80ex steps a prefix byte on its own) and returns
    // its T-states.
    int step_instruction();

    // The Z80's hidden address latch (MEMPTR) shows only in bits 5 and 3 of F after
    // BIT n,(HL), where they are bits 13 and 11 of the latch. z80ex offers no access to it,
    // so these run an instruction at PC and put back everything else they touched.
    uint8_t memptr_bits_13_11(); // bits 13 and 11 of the latch, as F bits 5 and 3
    void load_memptr(uint16_t value); // by a JP value, which loads the latch

    std::array<uint8_t, 65536> memory{};

    std::vector<BusWrite> writes;
    std::vector<PortAccess> ports;


private:
    static Z80EX_BYTE read_memory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* self);
    static void write_memory(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* self);
    static Z80EX_BYTE read_port(Z80EX_CONTEXT*, Z80EX_WORD port, void* self);
    static void write_port(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* self);
    static Z80EX_BYTE read_vector(Z80EX_CONTEXT*, void*);

    // Runs one instruction placed at PC, then restores the registers and those bytes.
    Z80Registers run_aside(std::initializer_list<uint8_t> bytes);

    Z80EX_CONTEXT* context_;
};
