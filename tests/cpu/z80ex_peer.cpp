#include "tests/cpu/z80ex_peer.h"

#include <cstddef>

Z80exPeer::Z80exPeer()
    : context_(z80ex_create(read_memory, this, write_memory, this, read_port, this, write_port,
                            this, read_vector, this))
{
}

Z80exPeer::~Z80exPeer() { z80ex_destroy(context_); }

Z80EX_BYTE Z80exPeer::read_memory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* self)
{
    return static_cast<Z80exPeer*>(self)->memory[address];
}

void Z80exPeer::write_memory(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* self)
{
    auto* peer = static_cast<Z80exPeer*>(self);
    peer->memory[address] = value;
    peer->writes.push_back({address, value});
}

Z80EX_BYTE Z80exPeer::read_port(Z80EX_CONTEXT*, Z80EX_WORD port, void* self)
{
    auto* peer = static_cast<Z80exPeer*>(self);
    const uint8_t value = port_answer(port);
    peer->ports.push_back({false, port, value});
    return value;
}

void Z80exPeer::write_port(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* self)
{
    static_cast<Z80exPeer*>(self)->ports.push_back({true, port, value});
}

Z80EX_BYTE Z80exPeer::read_vector(Z80EX_CONTEXT*, void*) { return 0xFF; }

Z80Registers Z80exPeer::registers() const
{
    auto get = [this](Z80_REG_T reg) { return z80ex_get_reg(context_, reg); };
    Z80Registers regs{};
    regs.af = get(regAF);
    regs.bc = get(regBC);
    regs.de = get(regDE);
    regs.hl = get(regHL);
    regs.ix = get(regIX);
    regs.iy = get(regIY);
    regs.pc = get(regPC);
    regs.sp = get(regSP);
    regs.af2 = get(regAF_);
    regs.bc2 = get(regBC_);
    regs.de2 = get(regDE_);
    regs.hl2 = get(regHL_);
    regs.i = uint8_t(get(regI));
    regs.r = uint8_t(get(regR));
    regs.r7 = uint8_t(get(regR7) & 0x80);
    regs.im = uint8_t(get(regIM));
    regs.iff1 = get(regIFF1) != 0;
    regs.iff2 = get(regIFF2) != 0;
    return regs;
}

void Z80exPeer::set_registers(const Z80Registers& regs)
{
    auto set = [this](Z80_REG_T reg, unsigned value) { z80ex_set_reg(context_, reg, Z80EX_WORD(value)); };
    set(regAF, regs.af);
    set(regBC, regs.bc);
    set(regDE, regs.de);
    set(regHL, regs.hl);
    set(regIX, regs.ix);
    set(regIY, regs.iy);
    set(regPC, regs.pc);
    set(regSP, regs.sp);
    set(regAF_, regs.af2);
    set(regBC_, regs.bc2);
    set(regDE_, regs.de2);
    set(regHL_, regs.hl2);
    set(regI, regs.i);
    set(regR, regs.r);
    set(regR7, regs.r7);
    set(regIM, regs.im);
    set(regIFF1, regs.iff1);
    set(regIFF2, regs.iff2);
}

int Z80exPeer::step_instruction()
{
    int t_states = 0;
    do
        t_states += z80ex_step(context_);
    while (z80ex_last_op_type(context_) != 0);
    return t_states;
}

Z80Registers Z80exPeer::run_aside(std::initializer_list<uint8_t> bytes)
{
    const Z80Registers saved = registers();
    std::array<uint8_t, 4> kept{};
    uint16_t at = saved.pc;
    for (std::size_t k = 0; k < bytes.size(); ++k)
        kept[k] = memory[uint16_t(at + k)];
    for (uint8_t b : bytes)
        memory[at++] = b;
    step_instruction();
    const Z80Registers after = registers();
    at = saved.pc;
    for (std::size_t k = 0; k < bytes.size(); ++k)
        memory[uint16_t(at + k)] = kept[k];
    set_registers(saved);
    return after;
}

uint8_t Z80exPeer::memptr_bits_13_11() { return uint8_t(run_aside({0xCB, 0x46}).af & 0x28); }

void Z80exPeer::load_memptr(uint16_t value) { run_aside({0xC3, uint8_t(value), uint8_t(value >> 8)}); }
