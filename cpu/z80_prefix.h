// The CB, ED, DD and FD prefix cores of the Z80, and the DD CB / FD CB index-bit cores.
// Each core fetches the byte after the prefix, charges its own cost table, counts the
// second opcode fetch in r and selects the case for that byte.
#pragma once

#include <utility>

#include "cpu/z80_ops.h"

namespace z80 {

// CB: shifts and rotates, BIT, RES and SET on registers and (HL).
template <class T>
struct CbOps {
    template <int OP>
    static void op(CpuState& c)
    {
        constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
        if constexpr (z != 6) {
            const uint8_t v = get8<z, 0>(c);
            if constexpr (x == 0) set8<z, 0>(c, FlagsZ80::shift<y>(c, v));
            else if constexpr (x == 1) FlagsZ80::bit<y>(c, v, v);
            else if constexpr (x == 2) set8<z, 0>(c, uint8_t(v & ~(1 << y)));
            else set8<z, 0>(c, uint8_t(v | (1 << y)));
        } else {
            const uint8_t v = T::rd(c, c.hl);
            T::internal(c, c.hl, 1);
            if constexpr (x == 0) T::wr(c, c.hl, FlagsZ80::shift<y>(c, v));
            else if constexpr (x == 1) FlagsZ80::bit<y>(c, v, hi(c.memptr)); // bits 5, 3 leak from the latch
            else if constexpr (x == 2) T::wr(c, c.hl, uint8_t(v & ~(1 << y)));
            else T::wr(c, c.hl, uint8_t(v | (1 << y)));
        }
    }
};

// DD CB d op / FD CB d op on (IX+d), address = IX+d. Every operation byte works on memory:
// the shifts, rotates, RES and SET write the result back and, unless the low three bits are
// 110, also load it into the register they name (the real H and L, never IXH or IXL).
// The eight BIT encodings of each bit are the same instruction.
template <class T>
struct IndexBitOps {
    template <int OP>
    static void op(CpuState& c, uint16_t address)
    {
        constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
        const uint8_t v = T::rd(c, address);
        T::internal(c, address, 1);
        if constexpr (x == 1) {
            FlagsZ80::bit<y>(c, v, hi(address));
        } else {
            uint8_t res;
            if constexpr (x == 0) res = FlagsZ80::shift<y>(c, v);
            else if constexpr (x == 2) res = uint8_t(v & ~(1 << y));
            else res = uint8_t(v | (1 << y));
            T::wr(c, address, res);
            if constexpr (z != 6)
                set8<z, 0>(c, res);
        }
    }
};

template <class T>
struct EdOps {
    template <int OP>
    static void op(CpuState& c)
    {
        constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
        if constexpr (x == 1) {
            if constexpr (z == 0) {
                // IN r,(C); ED 70 reads and discards.
                const uint8_t v = io_read(c.bc);
                c.memptr = uint16_t(c.bc + 1);
                T::io_cycle(c);
                if constexpr (y != 6)
                    set8<y, 0>(c, v);
                alu::set_f(c, uint8_t((lo(c.af) & FLAG_C) | FLAGS_SZP[v] | (v & FLAGS_XY)));
            } else if constexpr (z == 1) {
                if constexpr (y == 6) io_write(c.bc, 0);
                else io_write(c.bc, get8<y, 0>(c));
                c.memptr = uint16_t(c.bc + 1);
                T::io_cycle(c);
            } else if constexpr (z == 2) {
                c.memptr = uint16_t(c.hl + 1);
                if constexpr (q == 0) c.hl = FlagsZ80::sbc16(c, c.hl, pair<p, 0>(c));
                else c.hl = FlagsZ80::adc16(c, c.hl, pair<p, 0>(c));
            } else if constexpr (z == 3) {
                const uint16_t address = fetch16<T>(c);
                c.memptr = uint16_t(address + 1);
                uint16_t& rr = pair<p, 0>(c);
                if constexpr (q == 0) {
                    T::wr(c, address, lo(rr));
                    T::wr(c, uint16_t(address + 1), hi(rr));
                } else {
                    set_lo(rr, T::rd(c, address));
                    set_hi(rr, T::rd(c, uint16_t(address + 1)));
                }
            } else if constexpr (z == 4) {
                const uint8_t v = hi(c.af);
                set_hi(c.af, 0);
                FlagsZ80::sub(c, v, 0);
            } else if constexpr (z == 5) {
                c.pc = c.memptr = pop<T>(c);
                if constexpr (y == 1) {
                    // RETI: the Z80 PIO sees it and re-raises a request that waited.
                    if (pio.in_service & 2)
                        event_raise(EV_INT_VECTORED);
                    pio.in_service = 0;
                } else {
                    c.control = uint8_t((c.control & ~CTRL_IFF1) | ((c.control & CTRL_IFF2) ? CTRL_IFF1 : 0));
                }
            } else if constexpr (z == 6) {
                // The Z80 decodes only bits 4-3: 46, 4E, 66, 6E select IM 0; 56, 76 IM 1; 5E, 7E IM 2.
                if constexpr ((y & 3) < 2) c.control &= uint8_t(~(CTRL_IM1 | CTRL_IM2));
                else if constexpr ((y & 3) == 2) c.control = uint8_t((c.control & ~CTRL_IM2) | CTRL_IM1);
                else c.control = uint8_t((c.control & ~CTRL_IM1) | CTRL_IM2);
            } else {
                if constexpr (y == 0) {
                    c.i = hi(c.af);
                } else if constexpr (y == 1) {
                    c.r = hi(c.af);
                    c.r7 = hi(c.af) & 0x80;
                } else if constexpr (y == 2 || y == 3) {
                    const uint8_t a = y == 2 ? c.i : uint8_t(c.r7 | (c.r & 0x7F));
                    alu::set_af(c, a, uint8_t((lo(c.af) & FLAG_C) | FLAGS_SZ[a] | (a & FLAGS_XY) |
                                              ((c.control & CTRL_IFF2) ? FLAG_PV : 0)));
                } else if constexpr (y == 4 || y == 5) {
                    const uint8_t v = T::rd(c, c.hl);
                    T::internal(c, c.hl, 4);
                    c.memptr = uint16_t(c.hl + 1);
                    const uint8_t a = hi(c.af);
                    if constexpr (y == 4) {
                        T::wr(c, c.hl, uint8_t(a << 4 | v >> 4));
                        set_hi(c.af, uint8_t((a & 0xF0) | (v & 0x0F)));
                    } else {
                        T::wr(c, c.hl, uint8_t(v << 4 | (a & 0x0F)));
                        set_hi(c.af, uint8_t((a & 0xF0) | v >> 4));
                    }
                    alu::set_f(c, uint8_t((lo(c.af) & FLAG_C) | FLAGS_SZP[hi(c.af)] | (hi(c.af) & FLAGS_XY)));
                }
            }
        } else if constexpr (x == 2 && z <= 3 && y >= 4) {
            block<y & 1 ? -1 : 1, (y >= 6), z>(c);
        }
        // Every other second byte, ED included, is undefined: a no-op of two fetches.
    }

    // A repeating step goes back to the instruction; the Z80 forms its address + 1 in the latch.
    static void go_back(CpuState& c, uint16_t hl)
    {
        T::repeat(c, hl);
        c.pc -= 2;
        c.memptr = uint16_t(c.pc + 1);
    }

    // Flags of the block I/O instructions: S, Z, 5 and 3 from the decremented B, N from bit 7
    // of the byte moved, H and C from the carry of byte + k (k the port's low byte after the
    // step, or L), P/V the parity of the low three bits of that sum XOR B.
    static void block_io_flags(CpuState& c, uint8_t v, uint8_t k)
    {
        const uint8_t b = hi(c.bc);
        const unsigned sum = v + k;
        alu::set_f(c, uint8_t(FLAGS_SZ[b] | (b & FLAGS_XY) | ((v >> 6) & FLAG_N) | (sum > 255 ? FLAG_H | FLAG_C : 0) |
                              (FLAGS_SZP[(sum & 7) ^ b] & FLAG_PV)));
    }

    // Block instructions: STEP +1 or -1, REPEAT for the xxIR/xxDR forms, KIND 0 LD, 1 CP, 2 IN, 3 OUT.
    template <int STEP, bool REPEAT, int KIND>
    static void block(CpuState& c)
    {
        const uint16_t hl = c.hl;
        if constexpr (KIND == 0) {
            c.latch8 = T::rd(c, hl);
            T::wr(c, c.de, c.latch8);
            T::block(c, c.de, 2);
            --c.bc;
            const unsigned n = c.latch8 + hi(c.af);
            alu::set_f(c, uint8_t((lo(c.af) & (FLAG_S | FLAG_Z | FLAG_C)) | (c.bc ? FLAG_PV : 0) | (n & FLAG_X) |
                                  ((n << 4) & FLAG_Y)));
            if (REPEAT && c.bc != 0)
                go_back(c, hl);
            c.hl = uint16_t(hl + STEP);
            c.de = uint16_t(c.de + STEP);
        } else if constexpr (KIND == 1) {
            const uint8_t v = T::rd(c, hl);
            T::block(c, hl, 5);
            const uint8_t a = hi(c.af);
            const uint8_t res = uint8_t(a - v);
            const uint8_t half = (a ^ v ^ res) & FLAG_H;
            --c.bc;
            const uint8_t n = uint8_t(res - (half ? 1 : 0));
            alu::set_f(c, uint8_t((lo(c.af) & FLAG_C) | FLAG_N | FLAGS_SZ[res] | half | (c.bc ? FLAG_PV : 0) |
                                  (n & FLAG_X) | ((n << 4) & FLAG_Y)));
            c.memptr = uint16_t(c.memptr + STEP);
            if (REPEAT && c.bc != 0 && res != 0)
                go_back(c, hl);
            c.hl = uint16_t(hl + STEP);
        } else if constexpr (KIND == 2) {
            // The input forms put BC on the bus before B counts down.
            const uint8_t v = io_read(c.bc);
            c.memptr = uint16_t(c.bc + STEP);
            T::io_cycle(c);
            set_hi(c.bc, uint8_t(hi(c.bc) - 1));
            T::wr(c, hl, v);
            block_io_flags(c, v, uint8_t(lo(c.bc) + STEP));
            if (REPEAT && hi(c.bc) != 0)
                go_back(c, hl);
            c.hl = uint16_t(hl + STEP);
        } else {
            // The output forms count B down first.
            const uint8_t v = T::rd(c, hl);
            c.hl = uint16_t(hl + STEP);
            set_hi(c.bc, uint8_t(hi(c.bc) - 1));
            io_write(c.bc, v);
            c.memptr = uint16_t(c.bc + STEP);
            T::io_cycle(c);
            block_io_flags(c, v, lo(c.hl));
            if (REPEAT && hi(c.bc) != 0)
                go_back(c, hl);
        }
    }
};

template <class T, int X>
void index_bit_core(CpuState& c);
template <class T, int X>
void index_core(CpuState& c);
template <class T>
void cb_core(CpuState& c);
template <class T>
void ed_core(CpuState& c);

using IndexBitHandler = void (*)(CpuState&, uint16_t);

template <class Maker, std::size_t... I>
constexpr auto make_table(std::index_sequence<I...>)
{
    return std::array{Maker::template entry<int(I)>()...};
}

template <class T>
struct CbTable {
    template <int OP> static constexpr OpHandler entry() { return &CbOps<T>::template op<OP>; }
};
template <class T>
struct EdTable {
    template <int OP> static constexpr OpHandler entry() { return &EdOps<T>::template op<OP>; }
};
template <class T>
struct IndexBitTable {
    template <int OP> static constexpr IndexBitHandler entry() { return &IndexBitOps<T>::template op<OP>; }
};

// DD DD, DD FD: the earlier prefix is dropped, a 4-cycle no-op; the run loop fetches the
// second prefix again and counts that fetch in r itself.
inline void prefix_again(CpuState& c)
{
    --c.pc;
    --c.r;
}

template <class T>
struct BaseTable {
    template <int OP>
    static constexpr OpHandler entry()
    {
        if constexpr (OP == 0xCB) return &cb_core<T>;
        else if constexpr (OP == 0xDD) return &index_core<T, 1>;
        else if constexpr (OP == 0xED) return &ed_core<T>;
        else if constexpr (OP == 0xFD) return &index_core<T, 2>;
        else return &Ops<T, 0>::template op<OP>;
    }
};

template <class T, int X>
struct IndexTable {
    template <int OP>
    static constexpr OpHandler entry()
    {
        if constexpr (OP == 0xCB) return &index_bit_core<T, X>;
        else if constexpr (OP == 0xDD || OP == 0xFD) return &prefix_again;
        else if constexpr (cycle_rules::uses_index(OP)) return &Ops<T, X>::template op<OP>;
        else return BaseTable<T>::template entry<OP>(); // the unprefixed form; DD ED runs the ED instruction
    }
};

constexpr auto ALL_OPCODES = std::make_index_sequence<256>{};

template <class T> constexpr auto CB_HANDLERS = make_table<CbTable<T>>(ALL_OPCODES);
template <class T> constexpr auto ED_HANDLERS = make_table<EdTable<T>>(ALL_OPCODES);
template <class T, int X> constexpr auto INDEX_HANDLERS = make_table<IndexTable<T, X>>(ALL_OPCODES);
template <class T> constexpr auto INDEX_BIT_HANDLERS = make_table<IndexBitTable<T>>(ALL_OPCODES);
template <class T> constexpr auto BASE_HANDLERS = make_table<BaseTable<T>>(ALL_OPCODES);

// Fetches the byte after a prefix: one more opcode fetch for r, the core's own cost.
template <int32_t (*COST)(uint8_t)>
inline uint8_t prefix_fetch(CpuState& c)
{
    const uint8_t op = bus_read(c.pc);
    ++c.pc;
    c.cycles -= COST(op);
    ++c.r;
    return op;
}

template <class T>
void cb_core(CpuState& c)
{
    CB_HANDLERS<T>[prefix_fetch<&T::prefix_cb>(c)](c);
}

template <class T>
void ed_core(CpuState& c)
{
    ED_HANDLERS<T>[prefix_fetch<&T::prefix_ed>(c)](c);
}

template <class T, int X>
void index_core(CpuState& c)
{
    INDEX_HANDLERS<T, X>[prefix_fetch<&T::prefix_index>(c)](c);
}

// Displacement first, then the operation byte, read as data (r is not counted again), and two
// internal cycles tied to its address while IX+d is formed in the address latch.
template <class T, int X>
void index_bit_core(CpuState& c)
{
    const int8_t d = int8_t(fetch<T>(c));
    const uint16_t at = c.pc;
    const uint8_t op = fetch<T>(c);
    T::internal(c, at, 2);
    c.cycles -= T::index_bit(op);
    c.memptr = uint16_t(pointer<X>(c) + d);
    INDEX_BIT_HANDLERS<T>[op](c, c.memptr);
}

} // namespace z80
