#include "host/trace.h"

#include <array>
#include <string_view>

#include "cpu/cpu_state.h"
#include "host/storage.h"

namespace {

FsFile trace_file;

// Mnemonic templates by first opcode byte. "#" stands for a 16-bit immediate or address, "*" for
// an 8-bit immediate or port, "@" for a relative displacement; each is followed by "h". The four
// prefixes have placeholders that are never printed: prefixed instructions show only their bytes.
// The 8080 of the PMD 85 is traced with the same Z80 names.
constexpr std::array<std::string_view, 256> MNEMONIC_TABLE = {
    // 00h-0Fh
    "NOP", "LD BC,#h", "LD (BC),A", "INC BC", "INC B", "DEC B", "LD B,*h", "RLCA",
    "EX AF,AF'", "ADD HL,BC", "LD A,(BC)", "DEC BC", "INC C", "DEC C", "LD C,*h", "RRCA",
    // 10h-1Fh
    "DJNZ @h", "LD DE,#h", "LD (DE),A", "INC DE", "INC D", "DEC D", "LD D,*h", "RLA",
    "JR @h", "ADD HL,DE", "LD A,(DE)", "DEC DE", "INC E", "DEC E", "LD E,*h", "RRA",
    // 20h-2Fh
    "JR NZ,@h", "LD HL,#h", "LD (#h),HL", "INC HL", "INC H", "DEC H", "LD H,*h", "DAA",
    "JR Z,@h", "ADD HL,HL", "LD HL,(#h)", "DEC HL", "INC L", "DEC L", "LD L,*h", "CPL",
    // 30h-3Fh
    "JR NC,@h", "LD SP,#h", "LD (#h),A", "INC SP", "INC (HL)", "DEC (HL)", "LD (HL),*h", "SCF",
    "JR C,@h", "ADD HL,SP", "LD A,(#h)", "DEC SP", "INC A", "DEC A", "LD A,*h", "CCF",
    // 40h-4Fh
    "LD B,B", "LD B,C", "LD B,D", "LD B,E", "LD B,H", "LD B,L", "LD B,(HL)", "LD B,A",
    "LD C,B", "LD C,C", "LD C,D", "LD C,E", "LD C,H", "LD C,L", "LD C,(HL)", "LD C,A",
    // 50h-5Fh
    "LD D,B", "LD D,C", "LD D,D", "LD D,E", "LD D,H", "LD D,L", "LD D,(HL)", "LD D,A",
    "LD E,B", "LD E,C", "LD E,D", "LD E,E", "LD E,H", "LD E,L", "LD E,(HL)", "LD E,A",
    // 60h-6Fh
    "LD H,B", "LD H,C", "LD H,D", "LD H,E", "LD H,H", "LD H,L", "LD H,(HL)", "LD H,A",
    "LD L,B", "LD L,C", "LD L,D", "LD L,E", "LD L,H", "LD L,L", "LD L,(HL)", "LD L,A",
    // 70h-7Fh
    "LD (HL),B", "LD (HL),C", "LD (HL),D", "LD (HL),E", "LD (HL),H", "LD (HL),L", "HALT", "LD (HL),A",
    "LD A,B", "LD A,C", "LD A,D", "LD A,E", "LD A,H", "LD A,L", "LD A,(HL)", "LD A,A",
    // 80h-8Fh
    "ADD B", "ADD C", "ADD D", "ADD E", "ADD H", "ADD L", "ADD (HL)", "ADD A",
    "ADC B", "ADC C", "ADC D", "ADC E", "ADC H", "ADC L", "ADC (HL)", "ADC A",
    // 90h-9Fh
    "SUB B", "SUB C", "SUB D", "SUB E", "SUB H", "SUB L", "SUB (HL)", "SUB A",
    "SBC B", "SBC C", "SBC D", "SBC E", "SBC H", "SBC L", "SBC (HL)", "SBC A",
    // A0h-AFh
    "AND B", "AND C", "AND D", "AND E", "AND H", "AND L", "AND (HL)", "AND A",
    "XOR B", "XOR C", "XOR D", "XOR E", "XOR H", "XOR L", "XOR (HL)", "XOR A",
    // B0h-BFh
    "OR B", "OR C", "OR D", "OR E", "OR H", "OR L", "OR (HL)", "OR A",
    "CP B", "CP C", "CP D", "CP E", "CP H", "CP L", "CP (HL)", "CP A",
    // C0h-CFh
    "RET NZ", "POP BC", "JP NZ,#h", "JP #h", "CALL NZ,#h", "PUSH BC", "ADD *h", "RST 00h",
    "RET Z", "RET", "JP Z,#h", "PFX_CB", "CALL Z,#h", "CALL #h", "ADC *h", "RST 08h",
    // D0h-DFh
    "RET NC", "POP DE", "JP NC,#h", "OUTA (*h)", "CALL NC,#h", "PUSH DE", "SUB *h", "RST 10h",
    "RET C", "EXX", "JP C,#h", "INA (*h)", "CALL C,#h", "PFX_DD", "SBC *h", "RST 18h",
    // E0h-EFh
    "RET PO", "POP HL", "JP PO,#h", "EX HL,(SP)", "CALL PO,#h", "PUSH HL", "AND *h", "RST 20h",
    "RET PE", "LD PC,HL", "JP PE,#h", "EX DE,HL", "CALL PE,#h", "PFX_ED", "XOR *h", "RST 28h",
    // F0h-FFh
    "RET P", "POP AF", "JP P,#h", "DI", "CALL P,#h", "PUSH AF", "OR *h", "RST 30h",
    "RET M", "LD SP,HL", "JP M,#h", "EI", "CALL M,#h", "PFX_FD", "CP *h", "RST 38h",
};

constexpr bool is_prefix(uint8_t opcode)
{
    return opcode == 0xCB || opcode == 0xDD || opcode == 0xED || opcode == 0xFD;
}

// Operand bytes that follow an unprefixed opcode, read off its template: two for "#", one for
// "*" or "@". The prefixes are marked 9 and never consulted.
constexpr std::array<uint8_t, 256> make_operand_count()
{
    std::array<uint8_t, 256> count{};
    for (uint32_t op = 0; op < 256; ++op) {
        const std::string_view t = MNEMONIC_TABLE[op];
        if (is_prefix(uint8_t(op)))
            count[op] = 9;
        else if (t.find('#') != std::string_view::npos)
            count[op] = 2;
        else if (t.find('*') != std::string_view::npos || t.find('@') != std::string_view::npos)
            count[op] = 1;
    }
    return count;
}

constexpr std::array<uint8_t, 256> OPERAND_COUNT = make_operand_count();

void write_block(const uint8_t* block)
{
    uint32_t done = 0;
    fs_write(&trace_file, block, TRACE_BLOCK, &done); // a failed write is ignored
}

} // namespace

void trace_reset()
{
    trace_active = false;
    trace_fill = 0;
}

bool trace_start()
{
    if (fs_open(&trace_file, "/sidecar/trace.dat", FS_WRITE) != FS_OK)
        return false;
    trace_block_writer = write_block;
    trace_active = true;
    return true;
}

void trace_stop()
{
    fs_close(&trace_file);
    trace_active = false;
}

void trace_line()
{
    if (!trace_active)
        return;
    const uint16_t pc = cpu.pc;
    const uint8_t b0 = cpu_read(pc);
    const uint8_t b1 = cpu_read(uint16_t(pc + 1));
    const uint8_t b2 = cpu_read(uint16_t(pc + 2));

    trace_hex(pc, 4, ":\t", 2);

    // The instruction bytes: a prefix and the byte after it (DD CB and FD CB also the
    // displacement), or the opcode and its operands.
    uint8_t b = b0;
    if (b0 == 0xCB || b0 == 0xED) {
        trace_hex(b0, 2, " ", 1);
        b = b1;
    } else if (b0 == 0xDD || b0 == 0xFD) {
        trace_hex(b0, 2, " ", 1);
        b = b1;
        if (b == 0xCB) {
            trace_hex(b, 2, " ", 1);
            b = b2;
        }
    } else {
        for (uint32_t i = 1; i <= OPERAND_COUNT[b0]; ++i) {
            trace_hex(b, 2, " ", 1);
            b = i == 1 ? b1 : b2;
        }
    }
    trace_hex(b, 2, "\t", 1);

    if (!is_prefix(b0)) {
        for (const char c : MNEMONIC_TABLE[b0]) {
            if (c == '#') {
                trace_hex(b2, 2, "", 0);
                trace_hex(b1, 2, "", 0);
            } else if (c == '*') {
                trace_hex(b1, 2, "", 0);
            } else if (c == '@') {
                const int32_t d = int8_t(b1);
                trace_append(d < 0 ? "-" : "+", 1);
                trace_hex(uint32_t(d < 0 ? -d : d), 2, "", 0);
            } else {
                trace_append(&c, 1);
            }
        }
    }
    trace_append("\r\n", 2);
}

void trace_flush_at_exit()
{
    if (!trace_active)
        return;
    uint32_t done = 0;
    fs_write(&trace_file, trace_buffer, trace_fill, &done);
    trace_fill = 0;
    trace_stop();
}
