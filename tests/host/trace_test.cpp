// The instruction trace: the line written for each instruction (address, bytes, mnemonic), the
// port lines, and the trace file that receives whole 512-byte blocks only.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/cpu_state.h"
#include "host/storage.h"
#include "host/trace.h"
#include "tools/flat_machine.h"

namespace {

namespace fs = std::filesystem;

class Trace : public ::testing::Test {
protected:
    fs::path root;
    FsVolume volume{};

    void SetUp() override
    {
        char name[] = "/tmp/kestrel-trace-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root = name;
        fs::create_directories(root / "sidecar");
        std::ofstream(root / "sidecar" / "trace.dat"); // an empty trace file: tracing may start
        ASSERT_EQ(fs_set_host_root(root.c_str()), FS_OK);
        ASSERT_EQ(fs_mount(0, &volume), FS_OK);
        flat::install(MZ800);
        trace_reset();
        ASSERT_TRUE(trace_start());
    }
    void TearDown() override
    {
        if (trace_active)
            trace_stop();
        trace_reset();
        fs_mount(0, nullptr);
        fs_set_host_root("SD");
        fs::remove_all(root);
    }
    std::string file_text() const
    {
        std::ifstream in(root / "sidecar" / "trace.dat", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string pending() { return std::string(reinterpret_cast<const char*>(trace_buffer), trace_fill); }

    // The line traced for the bytes placed at address.
    static std::string line_for(uint16_t address, const std::vector<uint8_t>& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            flat::memory[uint16_t(address + i)] = bytes[i];
        cpu.pc = address;
        trace_fill = 0;
        trace_line();
        return pending();
    }
};

TEST_F(Trace, EachInstructionShowsItsAddressBytesAndMnemonic)
{
    struct Case {
        uint16_t address;
        std::vector<uint8_t> bytes;
        const char* line;
    };
    const Case cases[] = {
        {0x8000, {0x01, 0x34, 0x12}, "8000:\t01 34 12\tLD BC,1234h\r\n"},
        {0x8000, {0x18, 0xFE}, "8000:\t18 FE\tJR -02h\r\n"},
        {0x1234, {0x10, 0x05}, "1234:\t10 05\tDJNZ +05h\r\n"},
        {0x0100, {0x20, 0x80}, "0100:\t20 80\tJR NZ,-80h\r\n"},
        {0x0100, {0x38, 0x7F}, "0100:\t38 7F\tJR C,+7Fh\r\n"},
        {0x0100, {0x28, 0x00}, "0100:\t28 00\tJR Z,+00h\r\n"},
        {0x0000, {0x00}, "0000:\t00\tNOP\r\n"},
        {0xABCD, {0x3E, 0x7F}, "ABCD:\t3E 7F\tLD A,7Fh\r\n"},
        {0x0038, {0xD3, 0xFE}, "0038:\tD3 FE\tOUTA (FEh)\r\n"},
        {0x0038, {0xDB, 0x1F}, "0038:\tDB 1F\tINA (1Fh)\r\n"},
        {0x4000, {0x22, 0xCD, 0xAB}, "4000:\t22 CD AB\tLD (ABCDh),HL\r\n"},
        {0x4000, {0x3A, 0x00, 0xE0}, "4000:\t3A 00 E0\tLD A,(E000h)\r\n"},
        {0x4000, {0x36, 0x5A}, "4000:\t36 5A\tLD (HL),5Ah\r\n"},
        {0x4000, {0xE3}, "4000:\tE3\tEX HL,(SP)\r\n"},
        {0x4000, {0xE9}, "4000:\tE9\tLD PC,HL\r\n"},
        {0x4000, {0x08}, "4000:\t08\tEX AF,AF'\r\n"},
        {0x4000, {0xFF}, "4000:\tFF\tRST 38h\r\n"},
        {0x4000, {0xC7}, "4000:\tC7\tRST 00h\r\n"},
        {0x4000, {0xC6, 0x0A}, "4000:\tC6 0A\tADD 0Ah\r\n"},
        {0x4000, {0x9E}, "4000:\t9E\tSBC (HL)\r\n"},
        {0x4000, {0x76}, "4000:\t76\tHALT\r\n"},
        {0x4000, {0xCD, 0x03, 0x00}, "4000:\tCD 03 00\tCALL 0003h\r\n"},
        // Prefixed instructions: the prefix and the next byte, no mnemonic.
        {0x4000, {0xED, 0xB0}, "4000:\tED B0\t\r\n"},
        {0x4000, {0xCB, 0x27}, "4000:\tCB 27\t\r\n"},
        {0x4000, {0xDD, 0x21, 0x34, 0x12}, "4000:\tDD 21\t\r\n"},
        {0x4000, {0xFD, 0x7E, 0x05}, "4000:\tFD 7E\t\r\n"},
        // DD CB d op and FD CB d op: prefix, CBh and the displacement.
        {0x4000, {0xDD, 0xCB, 0x05, 0xC6}, "4000:\tDD CB 05\t\r\n"},
        {0x4000, {0xFD, 0xCB, 0xFE, 0x46}, "4000:\tFD CB FE\t\r\n"},
        // The operand bytes are read with 16-bit wrap-around.
        {0xFFFF, {0xC3, 0x00, 0x80}, "FFFF:\tC3 00 80\tJP 8000h\r\n"},
        {0xFFFE, {0x11, 0xEF, 0xBE}, "FFFE:\t11 EF BE\tLD DE,BEEFh\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(line_for(c.address, c.bytes), c.line) << "at " << std::hex << c.address;
}

// Every unprefixed opcode with operand bytes 34h and 12h behind it: the bytes shown follow from
// the placeholder ("#" two, "*" and "@" one) and the text is the opcode's mnemonic with the
// placeholder filled in.
TEST_F(Trace, EveryUnprefixedOpcodeUsesItsMnemonic)
{
    const std::array<const char*, 256> names = {
        "NOP", "LD BC,#h", "LD (BC),A", "INC BC", "INC B", "DEC B", "LD B,*h", "RLCA", "EX AF,AF'", "ADD HL,BC",
        "LD A,(BC)", "DEC BC", "INC C", "DEC C", "LD C,*h", "RRCA", "DJNZ @h", "LD DE,#h", "LD (DE),A", "INC DE",
        "INC D", "DEC D", "LD D,*h", "RLA", "JR @h", "ADD HL,DE", "LD A,(DE)", "DEC DE", "INC E", "DEC E", "LD E,*h",
        "RRA", "JR NZ,@h", "LD HL,#h", "LD (#h),HL", "INC HL", "INC H", "DEC H", "LD H,*h", "DAA", "JR Z,@h",
        "ADD HL,HL", "LD HL,(#h)", "DEC HL", "INC L", "DEC L", "LD L,*h", "CPL", "JR NC,@h", "LD SP,#h", "LD (#h),A",
        "INC SP", "INC (HL)", "DEC (HL)", "LD (HL),*h", "SCF", "JR C,@h", "ADD HL,SP", "LD A,(#h)", "DEC SP", "INC A",
        "DEC A", "LD A,*h", "CCF", "LD B,B", "LD B,C", "LD B,D", "LD B,E", "LD B,H", "LD B,L", "LD B,(HL)", "LD B,A",
        "LD C,B", "LD C,C", "LD C,D", "LD C,E", "LD C,H", "LD C,L", "LD C,(HL)", "LD C,A", "LD D,B", "LD D,C",
        "LD D,D", "LD D,E", "LD D,H", "LD D,L", "LD D,(HL)", "LD D,A", "LD E,B", "LD E,C", "LD E,D", "LD E,E",
        "LD E,H", "LD E,L", "LD E,(HL)", "LD E,A", "LD H,B", "LD H,C", "LD H,D", "LD H,E", "LD H,H", "LD H,L",
        "LD H,(HL)", "LD H,A", "LD L,B", "LD L,C", "LD L,D", "LD L,E", "LD L,H", "LD L,L", "LD L,(HL)", "LD L,A",
        "LD (HL),B", "LD (HL),C", "LD (HL),D", "LD (HL),E", "LD (HL),H", "LD (HL),L", "HALT", "LD (HL),A", "LD A,B",
        "LD A,C", "LD A,D", "LD A,E", "LD A,H", "LD A,L", "LD A,(HL)", "LD A,A", "ADD B", "ADD C", "ADD D", "ADD E",
        "ADD H", "ADD L", "ADD (HL)", "ADD A", "ADC B", "ADC C", "ADC D", "ADC E", "ADC H", "ADC L", "ADC (HL)",
        "ADC A", "SUB B", "SUB C", "SUB D", "SUB E", "SUB H", "SUB L", "SUB (HL)", "SUB A", "SBC B", "SBC C",
        "SBC D", "SBC E", "SBC H", "SBC L", "SBC (HL)", "SBC A", "AND B", "AND C", "AND D", "AND E", "AND H",
        "AND L", "AND (HL)", "AND A", "XOR B", "XOR C", "XOR D", "XOR E", "XOR H", "XOR L", "XOR (HL)", "XOR A",
        "OR B", "OR C", "OR D", "OR E", "OR H", "OR L", "OR (HL)", "OR A", "CP B", "CP C", "CP D", "CP E", "CP H",
        "CP L", "CP (HL)", "CP A", "RET NZ", "POP BC", "JP NZ,#h", "JP #h", "CALL NZ,#h", "PUSH BC", "ADD *h",
        "RST 00h", "RET Z", "RET", "JP Z,#h", nullptr, "CALL Z,#h", "CALL #h", "ADC *h", "RST 08h", "RET NC",
        "POP DE", "JP NC,#h", "OUTA (*h)", "CALL NC,#h", "PUSH DE", "SUB *h", "RST 10h", "RET C", "EXX", "JP C,#h",
        "INA (*h)", "CALL C,#h", nullptr, "SBC *h", "RST 18h", "RET PO", "POP HL", "JP PO,#h", "EX HL,(SP)",
        "CALL PO,#h", "PUSH HL", "AND *h", "RST 20h", "RET PE", "LD PC,HL", "JP PE,#h", "EX DE,HL", "CALL PE,#h",
        nullptr, "XOR *h", "RST 28h", "RET P", "POP AF", "JP P,#h", "DI", "CALL P,#h", "PUSH AF", "OR *h",
        "RST 30h", "RET M", "LD SP,HL", "JP M,#h", "EI", "CALL M,#h", nullptr, "CP *h", "RST 38h",
    };
    for (uint32_t op = 0; op < 256; ++op) {
        if (!names[op])
            continue; // the prefixes
        std::string text = names[op];
        std::string bytes;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", op);
        bytes = hex;
        if (const auto at = text.find('#'); at != std::string::npos) {
            text.replace(at, 1, "1234");
            bytes += " 34 12";
        } else if (const auto star = text.find('*'); star != std::string::npos) {
            text.replace(star, 1, "34");
            bytes += " 34";
        } else if (const auto rel = text.find('@'); rel != std::string::npos) {
            text.replace(rel, 1, "+34");
            bytes += " 34";
        }
        EXPECT_EQ(line_for(0x9000, {uint8_t(op), 0x34, 0x12}), "9000:\t" + bytes + "\t" + text + "\r\n")
            << "opcode " << hex;
    }
}

TEST_F(Trace, NothingIsFormattedWhileTheTraceIsOff)
{
    trace_stop();
    trace_fill = 0;
    trace_hex(0xBEEF, 4, "\r\n", 2);
    flat::memory[0x8000] = 0x01;
    cpu.pc = 0x8000;
    trace_line();
    EXPECT_EQ(trace_fill, 0u);
}

TEST_F(Trace, HexDigitsAreUpperCaseMostSignificantFirstThenTheSuffix)
{
    const struct {
        uint32_t value, count;
        const char* suffix;
        const char* text;
    } cases[] = {
        {0xBEEF, 4, ":\t", "BEEF:\t"}, {0x0A, 2, "", "0A"}, {0x1234, 2, " ", "34 "}, {0x7, 1, "),", "7),"},
        {0xFFFF0F, 6, "\r\n", "FFFF0F\r\n"},
    };
    for (const auto& c : cases) {
        trace_fill = 0;
        trace_hex(c.value, c.count, c.suffix, uint32_t(std::string(c.suffix).size()));
        EXPECT_EQ(pending(), c.text);
    }
}

TEST_F(Trace, TheFileReceivesWholeBlocksOfFiveHundredTwelveBytesOnly)
{
    // "8000:\t00\tNOP\r\n" is 14 bytes; 36 lines are 504 bytes, the 37th completes the block.
    const std::string line = "8000:\t00\tNOP\r\n";
    flat::memory[0x8000] = 0x00;
    cpu.pc = 0x8000;
    std::string all;
    for (int i = 0; i < 36; ++i) {
        trace_line();
        all += line;
    }
    ASSERT_EQ(trace_fill, 504u);
    EXPECT_EQ(file_text(), "");
    EXPECT_EQ(pending(), all);
    trace_line();
    all += line;
    EXPECT_EQ(file_text(), all.substr(0, 512));
    EXPECT_EQ(trace_fill, 518u - 512u);
    EXPECT_EQ(pending(), all.substr(512));
}

TEST_F(Trace, ABlockIsWrittenWhenAPieceFillsTheBufferExactly)
{
    for (int i = 0; i < 256; ++i)
        trace_append("xy", 2);
    EXPECT_EQ(trace_fill, 0u);
    std::string expected;
    for (int i = 0; i < 256; ++i)
        expected += "xy";
    EXPECT_EQ(file_text(), expected);
}

TEST_F(Trace, BytesLeftAtTheStopLeadTheNextTracesFirstBlock)
{
    trace_append("abc", 3);
    trace_stop();
    EXPECT_EQ(file_text(), "");
    ASSERT_TRUE(trace_start());
    for (int i = 0; i < 509; ++i)
        trace_append("z", 1);
    EXPECT_EQ(file_text(), "abc" + std::string(509, 'z'));
}

TEST_F(Trace, AnExitWritesThePendingBytesAndClosesTheFile)
{
    trace_hex(0x8000, 4, ":\t", 2);
    trace_flush_at_exit();
    EXPECT_EQ(file_text(), "8000:\t");
    EXPECT_FALSE(trace_active);
    EXPECT_EQ(trace_fill, 0u);
}

TEST_F(Trace, NoTraceFileLeavesTheTraceOff)
{
    trace_stop();
    fs::remove(root / "sidecar" / "trace.dat");
    EXPECT_FALSE(trace_start());
    EXPECT_FALSE(trace_active);
    EXPECT_FALSE(fs::exists(root / "sidecar" / "trace.dat")); // never created
}

} // namespace
