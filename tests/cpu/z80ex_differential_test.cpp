// Differential test of the Z80 core against z80ex, an independent Z80 emulator.
//
// Random streams of Z80 instructions run on both processors from the same state: every
// register random, all 64 KiB of memory random, the next instruction placed wherever PC
// points. After each instruction the two are compared: all registers, the memory written,
// the ports read and written, and the instruction's cost in cycles, under the MZ-800 timing
// (handler set A) and the ZX Spectrum timing (handler set B, with the scan line stretched
// so far that no access is ever contended).
//
// The peer is a textbook NMOS Z80. Where the core follows a different rule on purpose, the
// peer's result is converted to the core's rule before the comparison (see apply_core_rules):
// the accumulator rotates and the eight-bit refresh counter; nothing else is masked.
//
// The Z80's hidden address latch (MEMPTR) is compared too, through the only window a program
// has on it: bits 5 and 3 of F after BIT n,(HL), probed on the peer after every instruction.
// In two places the latch follows the Z80's address path where z80ex follows an older account
// (see expected_memptr_bits).
//
// Left out of the streams: HALT, DI, EI and RETI (interrupt state, and RETI's PIO hook).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"
#include "tests/cpu/z80ex_peer.h"
#include "tools/flat_machine.h"

namespace {

// ---------------------------------------------------------------------------------------
// Instruction forms

// PREFIX_PAIR: a prefix in front of a prefixed instruction, DD ED xx, or DD DD xx and its kin.
enum class Family : uint8_t { BASE, CB, ED, INDEX, INDEX_BIT, INDEX_PLAIN, PREFIX_PAIR };

// How the core's result for an instruction relates to the textbook Z80's.
enum class Rule : uint8_t {
    TEXTBOOK,
    ROTATE_A, // RLCA, RRCA, RLA, RRA
    LD_R_A,   // LD R,A
    IN_C,     // IN r,(C): MEMPTR
    BLOCK_IO, // INIR, INDR, OTIR, OTDR: MEMPTR
};

struct Form {
    std::array<uint8_t, 5> bytes{}; // operand positions are filled at random
    uint8_t length = 0;
    uint8_t operand_mask = 0; // bit k set: byte k is an operand byte
    uint8_t steps = 1;        // run-loop steps of the core: 2 for a repeated index prefix
    Family family = Family::BASE;
    Rule rule = Rule::TEXTBOOK;
    std::string name;
};

constexpr const char* R8[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
constexpr const char* RP[4] = {"BC", "DE", "HL", "SP"};
constexpr const char* RP2[4] = {"BC", "DE", "HL", "AF"};
constexpr const char* CC[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
constexpr const char* ALU[8] = {"ADD A,", "ADC A,", "SUB ", "SBC A,", "AND ", "XOR ", "OR ", "CP "};
constexpr const char* ROT[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
constexpr const char* BLOCK[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                     {"LDD", "CPD", "IND", "OUTD"},
                                     {"LDIR", "CPIR", "INIR", "OTIR"},
                                     {"LDDR", "CPDR", "INDR", "OTDR"}};

struct Decoded {
    std::string name;
    int operands = 0; // operand bytes after the opcode (displacement included)
};

// Mnemonic and operand count of an unprefixed opcode, or of its DD/FD form when index is
// "IX" or "IY": HL becomes the index register, (HL) becomes (IX+d), and H and L become the
// index halves unless the instruction also has an (HL) operand.
Decoded decode_base(uint8_t op, const std::string& index)
{
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    const bool indexed = !index.empty();
    const std::string hl = indexed ? index : "HL";
    Decoded d;
    auto reg = [&](int n, bool memory_form) -> std::string {
        if (n == 6) {
            if (indexed) {
                ++d.operands;
                return "(" + index + "+d)";
            }
            return "(HL)";
        }
        if (indexed && !memory_form && (n == 4 || n == 5))
            return index + (n == 4 ? "H" : "L");
        return R8[n];
    };
    auto pair = [&](int n) { return n == 2 ? hl : std::string(RP[n]); };
    switch (x) {
    case 0:
        switch (z) {
        case 0:
            if (y == 0) d.name = "NOP";
            else if (y == 1) d.name = "EX AF,AF'";
            else {
                d.name = y == 2 ? "DJNZ e" : y == 3 ? "JR e" : std::string("JR ") + CC[y - 4] + ",e";
                d.operands = 1;
            }
            break;
        case 1:
            if (q == 0) {
                d.name = "LD " + pair(p) + ",nn";
                d.operands = 2;
            } else
                d.name = "ADD " + hl + "," + pair(p);
            break;
        case 2: {
            static const char* const forms[2][4] = {{"LD (BC),A", "LD (DE),A", "", "LD (nn),A"},
                                                    {"LD A,(BC)", "LD A,(DE)", "", "LD A,(nn)"}};
            if (p == 2)
                d.name = q == 0 ? "LD (nn)," + hl : "LD " + hl + ",(nn)";
            else
                d.name = forms[q][p];
            d.operands = p >= 2 ? 2 : 0;
            break;
        }
        case 3: d.name = (q == 0 ? "INC " : "DEC ") + pair(p); break;
        case 4: d.name = "INC " + reg(y, false); break;
        case 5: d.name = "DEC " + reg(y, false); break;
        case 6:
            d.name = "LD " + reg(y, false) + ",n";
            ++d.operands;
            break;
        default: {
            static const char* const names[8] = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
            d.name = names[y];
        }
        }
        break;
    case 1:
        if (y == 6 && z == 6)
            d.name = "HALT";
        else {
            const bool memory_form = y == 6 || z == 6;
            const std::string to = reg(y, memory_form);
            d.name = "LD " + to + "," + reg(z, memory_form);
        }
        break;
    case 2: d.name = ALU[y] + reg(z, false); break;
    default:
        switch (z) {
        case 0: d.name = std::string("RET ") + CC[y]; break;
        case 1:
            if (q == 0)
                d.name = "POP " + (p == 2 ? hl : std::string(RP2[p]));
            else {
                const std::string names[4] = {"RET", "EXX", "JP (" + hl + ")", "LD SP," + hl};
                d.name = names[p];
            }
            break;
        case 2:
            d.name = std::string("JP ") + CC[y] + ",nn";
            d.operands = 2;
            break;
        case 3: {
            static const char* const names[8] = {"JP nn", "prefix CB", "OUT (n),A", "IN A,(n)",
                                                  "", "EX DE,HL", "DI", "EI"};
            d.name = y == 4 ? "EX (SP)," + hl : names[y];
            d.operands = y == 0 ? 2 : (y == 2 || y == 3) ? 1 : 0;
            break;
        }
        case 4:
            d.name = std::string("CALL ") + CC[y] + ",nn";
            d.operands = 2;
            break;
        case 5:
            if (q == 0)
                d.name = "PUSH " + (p == 2 ? hl : std::string(RP2[p]));
            else if (p == 0) {
                d.name = "CALL nn";
                d.operands = 2;
            } else
                d.name = p == 1 ? "prefix DD" : p == 2 ? "prefix ED" : "prefix FD";
            break;
        case 6:
            d.name = ALU[y] + std::string("n");
            d.operands = 1;
            break;
        default: {
            char text[8];
            std::snprintf(text, sizeof text, "RST %02Xh", y * 8);
            d.name = text;
        }
        }
    }
    return d;
}

std::string cb_name(uint8_t op, const std::string& operand)
{
    const int x = op >> 6, y = (op >> 3) & 7;
    if (x == 0)
        return std::string(ROT[y]) + " " + operand;
    static const char* const verbs[4] = {"", "BIT ", "RES ", "SET "};
    return verbs[x] + std::to_string(y) + "," + operand;
}

Rule base_rule(uint8_t op)
{
    return op == 0x07 || op == 0x0F || op == 0x17 || op == 0x1F ? Rule::ROTATE_A : Rule::TEXTBOOK;
}

std::string hex(unsigned value, int digits);

std::vector<Form> build_forms()
{
    std::vector<Form> forms;
    auto add = [&](std::vector<uint8_t> head, int operands, Family family, Rule rule, std::string name,
                   int tail = -1) {
        Form f;
        uint8_t n = 0;
        for (uint8_t b : head)
            f.bytes[n++] = b;
        for (int k = 0; k < operands; ++k) {
            f.operand_mask |= uint8_t(1u << n);
            f.bytes[n++] = 0;
        }
        if (tail >= 0)
            f.bytes[n++] = uint8_t(tail);
        f.length = n;
        f.family = family;
        f.rule = rule;
        f.name = std::move(name);
        forms.push_back(std::move(f));
    };

    for (int op = 0; op < 256; ++op) {
        if (op == 0x76 || op == 0xF3 || op == 0xFB || op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD)
            continue;
        const Decoded d = decode_base(uint8_t(op), "");
        add({uint8_t(op)}, d.operands, Family::BASE, base_rule(uint8_t(op)), d.name);
    }

    for (int op = 0; op < 256; ++op)
        add({0xCB, uint8_t(op)}, 0, Family::CB, Rule::TEXTBOOK, cb_name(uint8_t(op), R8[op & 7]));

    for (int op = 0; op < 256; ++op) {
        const int y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
        if (op == 0x4D)
            continue; // RETI
        if (op >= 0xA0 && op < 0xC0 && z < 4) {
            add({0xED, uint8_t(op)}, 0, Family::ED, y >= 6 && z >= 2 ? Rule::BLOCK_IO : Rule::TEXTBOOK,
                BLOCK[y - 4][z]);
            continue;
        }
        if (op < 0x40 || op >= 0x80 || op == 0x77 || op == 0x7F) {
            add({0xED, uint8_t(op)}, 0, Family::ED, Rule::TEXTBOOK, "undefined ED " + hex(op, 2));
            continue;
        }
        std::string name;
        int operands = 0;
        Rule rule = Rule::TEXTBOOK;
        switch (z) {
        case 0:
            name = y == 6 ? "IN (C)" : std::string("IN ") + R8[y] + ",(C)";
            rule = Rule::IN_C;
            break;
        case 1: name = y == 6 ? "OUT (C),0" : std::string("OUT (C),") + R8[y]; break;
        case 2: name = std::string(q == 0 ? "SBC HL," : "ADC HL,") + RP[p]; break;
        case 3:
            name = q == 0 ? std::string("LD (nn),") + RP[p] : std::string("LD ") + RP[p] + ",(nn)";
            operands = 2;
            break;
        case 4: name = "NEG"; break;
        case 5: name = "RETN"; break;
        case 6: name = "IM " + std::to_string((y & 3) < 2 ? 0 : (y & 3) - 1); break;
        default: {
            static const char* const names[6] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R", "RRD", "RLD"};
            name = names[y];
            if (op == 0x4F)
                rule = Rule::LD_R_A;
        }
        }
        add({0xED, uint8_t(op)}, operands, Family::ED, rule, name + " (ED " + hex(op, 2) + ")");
    }

    for (uint8_t prefix : {uint8_t(0xDD), uint8_t(0xFD)}) {
        const std::string index = prefix == 0xDD ? "IX" : "IY";
        for (int op = 0; op < 256; ++op) {
            if (op == 0x76 || op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD || op == 0xF3 || op == 0xFB)
                continue;
            const Decoded plain = decode_base(uint8_t(op), "");
            const Decoded d = decode_base(uint8_t(op), index);
            if (d.name != plain.name)
                add({prefix, uint8_t(op)}, d.operands, Family::INDEX, Rule::TEXTBOOK, d.name);
            else
                add({prefix, uint8_t(op)}, d.operands, Family::INDEX_PLAIN, base_rule(uint8_t(op)),
                    (prefix == 0xDD ? "DD " : "FD ") + d.name);
        }
        for (int op = 0; op < 256; ++op) {
            const int x = op >> 6, z = op & 7;
            std::string name = cb_name(uint8_t(op), "(" + index + "+d)");
            if (x != 1 && z != 6)
                name = "LD " + std::string(R8[z]) + "," + name;
            else if (x == 1 && z != 6)
                name += " (" + hex(op, 2) + ")";
            add({prefix, 0xCB}, 1, Family::INDEX_BIT, Rule::TEXTBOOK, name, op);
        }
    }

    // A prefix in front of an ED instruction is dropped; in front of another index prefix
    // it is a 4-cycle no-op of its own, after which the core's run loop fetches the second
    // prefix again.
    const size_t singles = forms.size();
    for (uint8_t prefix : {uint8_t(0xDD), uint8_t(0xFD)})
        for (size_t k = 0; k < singles; ++k) {
            const Form& inner = forms[k];
            const bool ed = inner.family == Family::ED;
            if (!ed && inner.family != Family::INDEX && inner.family != Family::INDEX_BIT)
                continue;
            Form f = inner;
            std::copy(inner.bytes.begin(), inner.bytes.end() - 1, f.bytes.begin() + 1);
            f.bytes[0] = prefix;
            f.operand_mask = uint8_t(inner.operand_mask << 1);
            ++f.length;
            f.steps = ed ? 1 : 2;
            f.family = Family::PREFIX_PAIR;
            f.name = (prefix == 0xDD ? "DD " : "FD ") + inner.name;
            forms.push_back(std::move(f));
        }
    return forms;
}

const std::vector<Form>& all_forms()
{
    static const std::vector<Form> forms = build_forms();
    return forms;
}

// Share of each family in the streams, in percent (BASE, CB, ED, INDEX, INDEX_BIT, INDEX_PLAIN,
// PREFIX_PAIR).
constexpr std::array<int, 7> FAMILY_WEIGHT = {38, 14, 15, 15, 8, 4, 6};

class FormPicker {
public:
    FormPicker()
    {
        const auto& forms = all_forms();
        for (size_t k = 0; k < forms.size(); ++k)
            by_family_[size_t(forms[k].family)].push_back(k);
    }
    size_t pick(std::mt19937& rng) const
    {
        int roll = int(rng() % 100);
        size_t family = 0;
        while (roll >= FAMILY_WEIGHT[family]) {
            roll -= FAMILY_WEIGHT[family];
            ++family;
        }
        const auto& members = by_family_[family];
        return members[rng() % members.size()];
    }

private:
    std::array<std::vector<size_t>, 7> by_family_;
};

// ---------------------------------------------------------------------------------------
// The core on the flat machine, with its bus logged

std::vector<BusWrite> core_writes;
std::vector<PortAccess> core_ports;

void logging_write(uint16_t address, uint8_t value)
{
    flat::memory[address] = value;
    core_writes.push_back({address, value});
}

uint8_t logging_in(uint16_t port)
{
    const uint8_t value = port_answer(port);
    core_ports.push_back({false, port, value});
    return value;
}

void logging_out(uint16_t port, uint8_t value) { core_ports.push_back({true, port, value}); }

void install_machine(MachineKind kind)
{
    flat::install(kind);
    page_write.fill(logging_write);
    flat::port_in = logging_in;
    flat::port_out = logging_out;
    // One endless scan line: no ZX contention, no line-end processing inside a test.
    cpu.cycles_per_line = 1 << 30;
}

Z80Registers core_registers()
{
    Z80Registers r{};
    r.af = cpu.af;
    r.bc = cpu.bc;
    r.de = cpu.de;
    r.hl = cpu.hl;
    r.ix = cpu.ix;
    r.iy = cpu.iy;
    r.pc = cpu.pc;
    r.sp = cpu.sp;
    r.af2 = cpu.af2;
    r.bc2 = cpu.bc2;
    r.de2 = cpu.de2;
    r.hl2 = cpu.hl2;
    r.i = cpu.i;
    r.r = cpu.r;
    r.r7 = cpu.r7;
    r.im = (cpu.control & CTRL_IM2) ? 2 : (cpu.control & CTRL_IM1) ? 1 : 0;
    r.iff1 = (cpu.control & CTRL_IFF1) != 0;
    r.iff2 = (cpu.control & CTRL_IFF2) != 0;
    return r;
}

void set_core_registers(const Z80Registers& r)
{
    cpu.af = r.af;
    cpu.bc = r.bc;
    cpu.de = r.de;
    cpu.hl = r.hl;
    cpu.ix = r.ix;
    cpu.iy = r.iy;
    cpu.pc = r.pc;
    cpu.sp = r.sp;
    cpu.af2 = r.af2;
    cpu.bc2 = r.bc2;
    cpu.de2 = r.de2;
    cpu.hl2 = r.hl2;
    cpu.i = r.i;
    cpu.r = r.r;
    cpu.r7 = uint8_t(r.r7 & 0x80);
    cpu.control = uint8_t((r.iff1 ? CTRL_IFF1 : 0) | (r.iff2 ? CTRL_IFF2 : 0) |
                          (r.im == 1 ? CTRL_IM1 : 0) | (r.im == 2 ? CTRL_IM2 : 0));
}

// Runs one instruction of the core and returns its cost.
int run_core_instruction()
{
    cpu.cycles = 0;
    cpu.line_start = 0;
    cpu.events = EV_TRACE;
    cpu_run(cpu);
    cpu.events = 0;
    return -cpu.cycles;
}

// ---------------------------------------------------------------------------------------
// The core's own rules, applied to the textbook result of the peer

constexpr uint8_t FLAG_53 = 0x28;

uint8_t flags(uint16_t af) { return uint8_t(af); }
void set_flags(uint16_t& af, uint8_t f) { af = uint16_t((af & 0xFF00) | f); }

// Returns the state the core must reach, given the peer's state after the same instruction.
Z80Registers apply_core_rules(Rule rule, const Z80Registers& before, Z80Registers expected)
{
    const uint8_t f = flags(expected.af);
    const uint8_t a = hi(expected.af);
    // The core counts opcode fetches in all eight bits of R; a Z80 counts in bits 0-6 and
    // holds bit 7. The count of fetches is the same.
    expected.r = uint8_t(before.r + ((expected.r - before.r) & 0x7F));
    switch (rule) {
    case Rule::ROTATE_A:
        // The accumulator rotates keep the previous bits 5 and 3 of F and OR in those of
        // the new A, where a textbook Z80 copies them from A alone.
        set_flags(expected.af, uint8_t((f & ~FLAG_53) | ((flags(before.af) | a) & FLAG_53)));
        break;
    case Rule::LD_R_A:
        // LD R,A loads all eight bits of the counter (and bit 7 into r7).
        expected.r = a;
        break;
    default:
        break;
    }
    return expected;
}

// Bits 13 and 11 of the core's address latch, where BIT n,(HL) shows them: F bits 5 and 3.
uint8_t memptr_bits(uint16_t memptr) { return uint8_t(hi(memptr) & FLAG_53); }
uint8_t core_memptr_bits() { return memptr_bits(cpu.memptr); }

// The latch bits the core must show, given the peer's after the same instruction. z80ex
// follows the earliest published account of the latch in two places where the core follows
// the Z80's address path:
// - IN r,(C) latches BC + 1 from the address it puts on the bus, before the byte read lands
//   in B or C (z80ex adds 1 to BC after that);
// - a repeating block I/O step goes back through the latch like LDIR and CPIR, leaving the
//   instruction's address + 1 in it (z80ex keeps the single step's value).
uint8_t expected_memptr_bits(Rule rule, const Z80Registers& before, const Z80Registers& after,
                             uint16_t instruction, uint8_t peer_bits)
{
    if (rule == Rule::IN_C)
        return memptr_bits(uint16_t(before.bc + 1));
    if (rule == Rule::BLOCK_IO && after.pc == instruction)
        return memptr_bits(uint16_t(instruction + 1));
    return peer_bits;
}

// ---------------------------------------------------------------------------------------
// Reporting

std::string hex(unsigned value, int digits)
{
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string describe_registers(const Z80Registers& r)
{
    return "AF=" + hex(r.af, 4) + " BC=" + hex(r.bc, 4) + " DE=" + hex(r.de, 4) + " HL=" + hex(r.hl, 4) +
           " IX=" + hex(r.ix, 4) + " IY=" + hex(r.iy, 4) + " SP=" + hex(r.sp, 4) + " PC=" + hex(r.pc, 4) +
           " AF'=" + hex(r.af2, 4) + " BC'=" + hex(r.bc2, 4) + " DE'=" + hex(r.de2, 4) +
           " HL'=" + hex(r.hl2, 4) + " I=" + hex(r.i, 2) + " R=" + hex(r.r, 2) + " R7=" + hex(r.r7, 2) +
           " IM=" + std::to_string(r.im) + " IFF1=" + std::to_string(r.iff1) +
           " IFF2=" + std::to_string(r.iff2);
}

std::string describe_writes(std::vector<BusWrite> writes)
{
    std::sort(writes.begin(), writes.end());
    std::string text = "{";
    for (const BusWrite& w : writes)
        text += " " + hex(w.address, 4) + "=" + hex(w.value, 2);
    return text + " }";
}

std::string describe_ports(const std::vector<PortAccess>& ports)
{
    std::string text = "{";
    for (const PortAccess& p : ports)
        text += std::string(p.is_write ? " OUT " : " IN ") + hex(p.port, 4) + "=" + hex(p.value, 2);
    return text + " }";
}

// Lists the fields in which the core's state differs from the expected one.
std::string register_differences(const Z80Registers& expected, const Z80Registers& got,
                                 const Z80Registers& peer)
{
    std::string text;
    auto field = [&](const char* name, unsigned e, unsigned g, unsigned p, int digits) {
        if (e == g)
            return;
        text += std::string("  ") + name + ": expected " + hex(e, digits) + " got " + hex(g, digits);
        if (p != e)
            text += " (z80ex " + hex(p, digits) + ")";
        text += "\n";
    };
    field("A", hi(expected.af), hi(got.af), hi(peer.af), 2);
    field("F", lo(expected.af), lo(got.af), lo(peer.af), 2);
    field("BC", expected.bc, got.bc, peer.bc, 4);
    field("DE", expected.de, got.de, peer.de, 4);
    field("HL", expected.hl, got.hl, peer.hl, 4);
    field("IX", expected.ix, got.ix, peer.ix, 4);
    field("IY", expected.iy, got.iy, peer.iy, 4);
    field("SP", expected.sp, got.sp, peer.sp, 4);
    field("PC", expected.pc, got.pc, peer.pc, 4);
    field("AF'", expected.af2, got.af2, peer.af2, 4);
    field("BC'", expected.bc2, got.bc2, peer.bc2, 4);
    field("DE'", expected.de2, got.de2, peer.de2, 4);
    field("HL'", expected.hl2, got.hl2, peer.hl2, 4);
    field("I", expected.i, got.i, peer.i, 2);
    field("R", expected.r, got.r, peer.r, 2);
    field("r7", expected.r7 & 0x80u, got.r7 & 0x80u, peer.r7 & 0x80u, 2);
    field("IM", expected.im, got.im, peer.im, 1);
    field("IFF1", expected.iff1, got.iff1, peer.iff1, 1);
    field("IFF2", expected.iff2, got.iff2, peer.iff2, 1);
    return text;
}

// Mismatches grouped by instruction form, so that one faulty handler yields one report.
class FailureLog {
public:
    void add(const std::string& key, const std::string& example)
    {
        Group& g = groups_[key];
        if (g.count++ == 0)
            g.example = example;
    }
    void report() const
    {
        for (const auto& [key, g] : groups_)
            ADD_FAILURE() << key << ": " << g.count << " mismatch(es); first one:\n" << g.example;
    }
    bool empty() const { return groups_.empty(); }

private:
    struct Group {
        int count = 0;
        std::string example;
    };
    std::map<std::string, Group> groups_;
};

// ---------------------------------------------------------------------------------------
// Random state

uint16_t random_word(std::mt19937& rng)
{
    // Boundary values often enough to reach the zero, carry and overflow edges.
    static constexpr uint16_t EDGES[] = {0x0000, 0x0001, 0x0002, 0x00FF, 0x0100, 0x007F, 0x0080,
                                         0x7FFF, 0x8000, 0xFFFF, 0x0F0F, 0xF0F0};
    if (rng() % 6 == 0)
        return EDGES[rng() % std::size(EDGES)];
    return uint16_t(rng());
}

constexpr uint16_t DATA_AREA = 0xC000; // the stack starts in C000h-EFFFh
constexpr uint16_t DATA_AREA_SIZE = 0x3000;

Z80Registers random_registers(std::mt19937& rng)
{
    Z80Registers r{};
    r.af = random_word(rng);
    r.bc = random_word(rng);
    r.de = random_word(rng);
    r.hl = random_word(rng);
    r.ix = random_word(rng);
    r.iy = random_word(rng);
    r.pc = uint16_t(rng());
    r.sp = uint16_t(DATA_AREA + rng() % DATA_AREA_SIZE);
    r.af2 = random_word(rng);
    r.bc2 = random_word(rng);
    r.de2 = random_word(rng);
    r.hl2 = random_word(rng);
    r.i = uint8_t(rng());
    r.r = uint8_t(rng());
    r.r7 = uint8_t(rng() & 0x80);
    r.im = uint8_t(rng() % 3);
    r.iff1 = (rng() & 1) != 0;
    r.iff2 = (rng() & 1) != 0;
    return r;
}

// Gives one register a fresh value now and then, so that counters and pointers keep
// visiting small and boundary values as the stream runs.
void perturb(Z80Registers& r, std::mt19937& rng)
{
    switch (rng() % 8) {
    case 0: r.af = random_word(rng); break;
    case 1: r.bc = random_word(rng); break;
    case 2: r.de = random_word(rng); break;
    case 3: r.hl = random_word(rng); break;
    case 4: r.ix = random_word(rng); break;
    case 5: r.iy = random_word(rng); break;
    case 6: r.sp = uint16_t(DATA_AREA + rng() % DATA_AREA_SIZE); break;
    default: r.bc = uint16_t(rng() % 3); break;
    }
}

struct MachineTiming {
    MachineKind kind;
    const char* name;
};

constexpr MachineTiming MZ800_TIMING = {MZ800, "handler set A (MZ-800)"};
constexpr MachineTiming ZX48_TIMING = {ZX48, "handler set B (ZX Spectrum)"};

// ---------------------------------------------------------------------------------------
// The random streams

constexpr int SEEDS = 160;
constexpr int INSTRUCTIONS_PER_SEED = 5000;

void run_random_streams(const MachineTiming& timing, uint32_t first_seed)
{
    const auto& forms = all_forms();
    const FormPicker picker;
    std::vector<int> executed(forms.size(), 0);
    FailureLog failures;
    auto peer = std::make_unique<Z80exPeer>();
    install_machine(timing.kind);

    for (int s = 0; s < SEEDS; ++s) {
        const uint32_t seed = first_seed + uint32_t(s);
        std::mt19937 rng(seed);
        for (auto& byte : flat::memory)
            byte = uint8_t(rng());
        peer->memory = flat::memory;
        Z80Registers state = random_registers(rng);
        set_core_registers(state);
        peer->set_registers(state);
        cpu.memptr = random_word(rng);
        peer->load_memptr(cpu.memptr);

        for (int n = 0; n < INSTRUCTIONS_PER_SEED; ++n) {
            if (rng() % 8 == 0) {
                state = core_registers();
                perturb(state, rng);
                set_core_registers(state);
                peer->set_registers(state);
            }
            const size_t index = picker.pick(rng);
            const Form& form = forms[index];
            ++executed[index];

            // Place the instruction where PC points, in both memories.
            const Z80Registers before = core_registers();
            std::array<uint8_t, 5> bytes = form.bytes;
            for (int k = 0; k < form.length; ++k) {
                if (form.operand_mask & (1u << k))
                    bytes[k] = uint8_t(rng());
                const uint16_t address = uint16_t(before.pc + k);
                flat::memory[address] = peer->memory[address] = bytes[k];
            }

            core_writes.clear();
            core_ports.clear();
            peer->writes.clear();
            peer->ports.clear();
            int core_cost = 0;
            for (int k = 0; k < form.steps; ++k)
                core_cost += run_core_instruction();
            const int cost = peer->step_instruction();

            const Z80Registers got = core_registers();
            const Z80Registers peer_state = peer->registers();
            const Z80Registers expected = apply_core_rules(form.rule, before, peer_state);

            std::string diff = register_differences(expected, got, peer_state);
            if ((cpu.control & CTRL_HALTED) != 0)
                diff += "  the halted bit is set\n";
            if (core_cost != cost)
                diff += "  cycles: expected " + std::to_string(cost) + " got " + std::to_string(core_cost) + "\n";
            // A repeating step goes back to the ED byte, behind any index prefix.
            const uint16_t ed_at = uint16_t(before.pc + form.length - 2);
            const uint8_t peer_memptr = peer->memptr_bits_13_11();
            const uint8_t memptr = expected_memptr_bits(form.rule, before, got, ed_at, peer_memptr);
            if (core_memptr_bits() != memptr)
                diff += "  MEMPTR bits 13 and 11 (as F bits 5 and 3): expected " + hex(memptr, 2) + " got " +
                        hex(core_memptr_bits(), 2) + " (MEMPTR " + hex(cpu.memptr, 4) + ")\n";
            std::vector<BusWrite> core_sorted = core_writes, peer_sorted = peer->writes;
            std::sort(core_sorted.begin(), core_sorted.end());
            std::sort(peer_sorted.begin(), peer_sorted.end());
            const bool writes_differ = core_sorted != peer_sorted;
            if (writes_differ)
                diff += "  memory writes: expected " + describe_writes(peer->writes) + " got " +
                        describe_writes(core_writes) + "\n";
            if (core_ports != peer->ports)
                diff += "  ports: expected " + describe_ports(peer->ports) + " got " +
                        describe_ports(core_ports) + "\n";

            if (!diff.empty()) {
                std::string code;
                for (int k = 0; k < form.length; ++k)
                    code += hex(bytes[k], 2) + (k + 1 < form.length ? " " : "");
                failures.add(std::string(timing.name) + ", " + form.name,
                             "  bytes " + code + " (" + form.name + "), seed " + std::to_string(seed) +
                                 ", instruction " + std::to_string(n) + "\n  before: " +
                                 describe_registers(before) + "\n" + diff);
                if (writes_differ)
                    peer->memory = flat::memory;
            }
            // Carry on from the core's state, latch included, so that one mismatch does not
            // cascade and every instruction starts from the same latch on both.
            peer->set_registers(got);
            peer->load_memptr(cpu.memptr);
        }
        if (std::memcmp(flat::memory.data(), peer->memory.data(), flat::memory.size()) != 0)
            failures.add(std::string(timing.name) + ", memory",
                         "  memory differs at the end of seed " + std::to_string(seed) + "\n");
    }

    failures.report();
    // Every form the generator knows must have run at least once, or part of the
    // instruction set went untested.
    for (size_t k = 0; k < forms.size(); ++k)
        EXPECT_GT(executed[k], 0) << forms[k].name << " never ran";
}

TEST(Z80exDifferential, RandomInstructionStreamsBehaveAsTheZ80UnderMz800Timing)
{
    run_random_streams(MZ800_TIMING, 1000);
}

TEST(Z80exDifferential, RandomInstructionStreamsBehaveAsTheZ80UnderZxSpectrumTiming)
{
    run_random_streams(ZX48_TIMING, 2000);
}

// ---------------------------------------------------------------------------------------
// Repeating block instructions run to completion

struct BlockCase {
    uint8_t opcode; // after ED
    const char* name;
    bool counts_b; // the I/O forms count in B, the others in BC
};

constexpr BlockCase BLOCK_CASES[] = {
    {0xB0, "LDIR", false}, {0xB8, "LDDR", false}, {0xB1, "CPIR", false}, {0xB9, "CPDR", false},
    {0xB2, "INIR", true},  {0xBA, "INDR", true},  {0xB3, "OTIR", true},  {0xBB, "OTDR", true},
};

constexpr uint16_t BLOCK_COUNTS[] = {1, 2, 3, 5, 8};
constexpr int BLOCK_SEEDS = 6;
constexpr uint16_t BLOCK_CODE = 0x9000;
constexpr int BLOCK_MAX_STEPS = 300;

void run_block_instructions(const MachineTiming& timing)
{
    FailureLog failures;
    auto peer = std::make_unique<Z80exPeer>();
    install_machine(timing.kind);

    for (const BlockCase& bc : BLOCK_CASES)
        for (uint16_t count : BLOCK_COUNTS)
            for (int s = 0; s < BLOCK_SEEDS; ++s) {
                const uint32_t seed = uint32_t(bc.opcode) * 1000u + count * 10u + uint32_t(s);
                std::mt19937 rng(seed);
                for (auto& byte : flat::memory)
                    byte = uint8_t(rng());
                flat::memory[BLOCK_CODE] = 0xED;
                flat::memory[BLOCK_CODE + 1] = bc.opcode;
                peer->memory = flat::memory;

                Z80Registers start = random_registers(rng);
                start.pc = BLOCK_CODE;
                // Source and destination close together in A000h-A0FFh, so that the
                // blocks sometimes overlap.
                start.hl = uint16_t(0xA000 + rng() % 0x100);
                start.de = uint16_t(0xA000 + rng() % 0x100);
                if (bc.counts_b)
                    start.bc = uint16_t((count << 8) | (rng() & 0xFF));
                else
                    start.bc = count;
                if (bc.opcode == 0xB1 || bc.opcode == 0xB9) {
                    // Half of the compares find their byte part way through the block.
                    if (rng() & 1) {
                        const int step = int(rng() % count);
                        const uint16_t at = uint16_t(bc.opcode == 0xB1 ? start.hl + step : start.hl - step);
                        set_hi(start.af, flat::memory[at]);
                    }
                }
                set_core_registers(start);
                peer->set_registers(start);
                cpu.memptr = random_word(rng);
                peer->load_memptr(cpu.memptr);

                core_writes.clear();
                core_ports.clear();
                peer->writes.clear();
                peer->ports.clear();

                int core_cycles = 0, core_steps = 0;
                do {
                    core_cycles += run_core_instruction();
                } while (cpu.pc == BLOCK_CODE && ++core_steps < BLOCK_MAX_STEPS);
                int peer_cycles = 0, peer_steps = 0;
                Z80Registers peer_state;
                do {
                    peer_cycles += peer->step_instruction();
                    peer_state = peer->registers();
                } while (peer_state.pc == BLOCK_CODE && ++peer_steps < BLOCK_MAX_STEPS);

                const Z80Registers got = core_registers();
                const Z80Registers expected = apply_core_rules(Rule::TEXTBOOK, start, peer_state);
                std::string diff = register_differences(expected, got, peer_state);
                const uint8_t peer_memptr = peer->memptr_bits_13_11();
                if (core_memptr_bits() != peer_memptr)
                    diff += "  MEMPTR bits 13 and 11: expected " + hex(peer_memptr, 2) + " got " +
                            hex(core_memptr_bits(), 2) + "\n";
                // Every repetition costs 21 cycles and the last one 16, as on the Z80.
                if (core_cycles != peer_cycles)
                    diff += "  cycles: expected " + std::to_string(peer_cycles) + " got " +
                            std::to_string(core_cycles) + "\n";
                if (core_ports != peer->ports)
                    diff += "  ports: expected " + describe_ports(peer->ports) + " got " +
                            describe_ports(core_ports) + "\n";
                for (size_t a = 0; a < flat::memory.size(); ++a)
                    if (flat::memory[a] != peer->memory[a]) {
                        diff += "  memory at " + hex(unsigned(a), 4) + ": expected " +
                                hex(peer->memory[a], 2) + " got " + hex(flat::memory[a], 2) + "\n";
                        break;
                    }
                if (!diff.empty())
                    failures.add(std::string(timing.name) + ", " + bc.name + " with count " +
                                     std::to_string(count),
                                 "  bytes ED " + hex(bc.opcode, 2) + " (" + bc.name + "), seed " +
                                     std::to_string(seed) + "\n  before: " + describe_registers(start) +
                                     "\n" + diff);
            }
    failures.report();
}

TEST(Z80exDifferential, BlockInstructionsRunToCompletionAsOnTheZ80UnderMz800Timing)
{
    run_block_instructions(MZ800_TIMING);
}

TEST(Z80exDifferential, BlockInstructionsRunToCompletionAsOnTheZ80UnderZxSpectrumTiming)
{
    run_block_instructions(ZX48_TIMING);
}

} // namespace
