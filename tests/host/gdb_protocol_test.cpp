// The debugger's protocol as a client meets it: framing and checksums, and the replies to
// well-formed and malformed commands, against a stand-in machine with ROM at 0000h-0FFFh and
// nothing at all at F000h-FFFFh.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "host/gdb_protocol.h"

namespace {

struct FakeMachine final : gdb::Target {
    gdb::Registers regs{};
    std::array<uint8_t, 0x10000> memory{};
    std::string points; // what was inserted and removed, in order

    gdb::Registers registers() override { return regs; }
    void set_register(int n, uint16_t v) override { regs[size_t(n)] = v; }
    bool peek(uint16_t a, uint8_t& v) override
    {
        v = memory[a];
        return a < 0xF000;
    }
    bool poke(uint16_t a, uint8_t v) override
    {
        if (a < 0x1000 || a >= 0xF000)
            return false;
        memory[a] = v;
        return true;
    }
    bool insert(gdb::Point kind, uint16_t a, uint32_t length) override
    {
        points += "+" + std::to_string(int(kind)) + ":" + std::to_string(a) + "/" + std::to_string(length) + " ";
        return a != 0x2222; // the stand-in has no room there
    }
    void remove(gdb::Point kind, uint16_t a, uint32_t length) override
    {
        points += "-" + std::to_string(int(kind)) + ":" + std::to_string(a) + "/" + std::to_string(length) + " ";
    }
};

using Input = gdb::Framer::Input;

Input feed_all(gdb::Framer& framer, const std::string& bytes)
{
    Input last = Input::NONE;
    for (char c : bytes)
        if (const Input in = framer.feed(uint8_t(c)); in != Input::NONE)
            last = in;
    return last;
}

TEST(GdbProtocol, FramingChecksEverySumAndUndoesEscapes)
{
    gdb::Framer framer;
    EXPECT_EQ(feed_all(framer, gdb::frame("m1000,4")), Input::PACKET);
    EXPECT_EQ(framer.body(), "m1000,4");
    EXPECT_EQ(gdb::frame("OK"), "$OK#9a");
    EXPECT_EQ(feed_all(framer, "$m1000,4#00"), Input::BAD_CHECKSUM);
    EXPECT_EQ(feed_all(framer, "$g#6x"), Input::BAD_CHECKSUM);
    EXPECT_EQ(feed_all(framer, "\x03"), Input::INTERRUPT);
    EXPECT_EQ(feed_all(framer, "-"), Input::NAK);
    // }] is an escaped } (7Dh ^ 20h); the sum covers the bytes as sent.
    EXPECT_EQ(feed_all(framer, "$X1,1:}]#" + gdb::frame("X1,1:}]").substr(9)), Input::PACKET);
    EXPECT_EQ(framer.body(), "X1,1:}");
    const std::string huge(gdb::PACKET_SIZE + 1, 'a');
    EXPECT_EQ(feed_all(framer, gdb::frame(huge)), Input::TOO_LONG);
    EXPECT_EQ(feed_all(framer, gdb::frame("?")), Input::PACKET); // and the next one is whole again
}

TEST(GdbProtocol, RepliesToWhatAClientSends)
{
    FakeMachine m;
    m.regs = {0x1234, 0, 0, 0, 0, 0xABCD};
    m.memory[0x1000] = 0x3E;
    m.memory[0xEFFF] = 0x99;
    const struct {
        std::string packet, reply;
    } CASES[] = {
        {"?", "T05"},
        {"g", "34120000000000000000cdab0000000000000000000000000000"},
        {"p5", "cdab"},
        {"pd", "E01"},          // there are 13 registers
        {"P1=ff00", "OK"},
        {"P1=ff0", "E01"},
        {"m1000,2", "3e00"},
        {"mefff,4", "99"},      // up to the first address that holds nothing
        {"mf000,1", "E03"},
        {"m10000,1", "E01"},    // outside 0-FFFFh
        {"mffff,2", "E01"},
        {"m1000,zz", "E01"},
        {"m123456789,1", "E01"},
        {"M2000,2:a1b2", "OK"},
        {"M2000,2:a1b", "E01"},
        {"M2000,1:g1", "E01"},
        {"M0fff,2:0102", "E03"}, // ROM takes nothing, the RAM after it its byte
        {"X2002,2:}]#", "E01"},  // three bytes for two
        {"X2002,0:", "OK"},
        {"Z0,3000,1", "OK"},
        {"Z0,10000,1", "E01"},
        {"Z2,2222,2", "E02"},
        {"Z2,fffe,4", "E01"},   // a watch past the end of memory
        {"Z4,4000,0", "E01"},
        {"z3,5000,2", "OK"},
        {"Z5,1,1", ""},          // not offered
        {"c10000", "E01"},
        {"vCont?", "vCont;c;C;s;S"},
        {"vCont;x", "E01"},
        {"qAttached", "1"},
        {"Hg0", "OK"},
        {"qTStatus", ""},
        {"qXfer:features:read:other.xml:0,10", "E01"},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(gdb::answer(c.packet, m, "T05").body, c.reply) << c.packet;
    EXPECT_EQ(m.regs[1], 0x00FF);
    EXPECT_EQ(m.memory[0x2000], 0xA1);
    EXPECT_EQ(m.memory[0x2001], 0xB2);
    EXPECT_EQ(m.memory[0x0FFF], 0x00);
    EXPECT_EQ(m.memory[0x1000], 0x02);
    EXPECT_EQ(m.points, "+0:12288/1 +2:8738/2 -3:20480/2 ");
}

TEST(GdbProtocol, ResumesStepsAndLeaves)
{
    FakeMachine m;
    const struct {
        std::string packet;
        gdb::Action action;
        uint16_t pc;
    } CASES[] = {
        {"c", gdb::Action::CONTINUE, 0},      {"s4000", gdb::Action::STEP, 0x4000},
        {"C05;4010", gdb::Action::CONTINUE, 0x4010}, {"vCont;s:1;c", gdb::Action::STEP, 0x4010},
        {"vCont;c", gdb::Action::CONTINUE, 0x4010},  {"D", gdb::Action::DETACH, 0x4010},
        {"k", gdb::Action::KILL, 0x4010},
    };
    for (const auto& c : CASES) {
        EXPECT_EQ(gdb::answer(c.packet, m, "T05").action, c.action) << c.packet;
        EXPECT_EQ(m.regs[5], c.pc) << c.packet;
    }
    // The target description, read in pieces, is the whole document.
    std::string xml;
    for (uint32_t offset = 0;; offset += 0x100) {
        char request[64];
        std::snprintf(request, sizeof request, "qXfer:features:read:target.xml:%x,100", offset);
        const std::string piece = gdb::answer(request, m, "T05").body;
        ASSERT_FALSE(piece.empty());
        xml += piece.substr(1);
        if (piece[0] == 'l')
            break;
    }
    EXPECT_EQ(xml, gdb::TARGET_XML);
}

} // namespace
