// The GDB remote serial protocol as the debugger's server speaks it: packet framing with
// checksums and acknowledgements, and the commands a GDB-protocol client sends to a stopped
// Z80 or 8080, answered from a Target. Pure: no sockets, no emulator state, so that a fuzzer
// and the tests can feed it anything.
//
// Registers are GDB's z80 layout, 13 little-endian 16-bit registers: AF BC DE HL SP PC IX IY
// AF' BC' DE' HL' IR.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace gdb {

// The largest packet body taken, and advertised as PacketSize; a longer one is refused (E01).
constexpr uint32_t PACKET_SIZE = 0x1000; // qSupported says PacketSize=1000
constexpr int REGISTER_COUNT = 13;
using Registers = std::array<uint16_t, REGISTER_COUNT>;

// Byte by byte from the client: "$body#cc" packets, the acknowledgements + and -, and 03h
// (the interrupt request, the client's Ctrl-C) between packets.
struct Framer {
    // NAK: the client asks for the last packet sent again.
    enum class Input : uint8_t { NONE, PACKET, BAD_CHECKSUM, TOO_LONG, INTERRUPT, NAK };
    // What byte b completed; after PACKET, body() is the packet's body with escapes undone.
    Input feed(uint8_t b);
    const std::string& body() const { return body_; }

private:
    enum class State : uint8_t { IDLE, BODY, ESCAPE, SUM_HIGH, SUM_LOW };
    State state_ = State::IDLE;
    std::string body_;
    uint8_t sum_ = 0, given_ = 0;
    bool too_long_ = false;
};

// A packet ready to send: $body#checksum.
std::string frame(std::string_view body);

// The four kinds of watch the client asks for (Z1-Z4 on top of Z0 for software breakpoints).
enum class Point : uint8_t { SOFTWARE, HARDWARE, WRITE, READ, ACCESS };

// The stopped machine as the commands see it.
struct Target {
    virtual Registers registers() = 0;
    virtual void set_register(int n, uint16_t value) = 0;
    // What the CPU sees at the address; false where it holds no memory (or no writable memory).
    virtual bool peek(uint16_t address, uint8_t& value) = 0;
    virtual bool poke(uint16_t address, uint8_t value) = 0;
    // A breakpoint or watch on [address, address + length); false when there is no room.
    virtual bool insert(Point kind, uint16_t address, uint32_t length) = 0;
    virtual void remove(Point kind, uint16_t address, uint32_t length) = 0;

protected:
    ~Target() = default;
};

// What the machine does after a command.
enum class Action : uint8_t { NONE, CONTINUE, STEP, DETACH, KILL };

struct Reply {
    std::string body; // the reply's body: empty is the empty reply; none is sent for CONTINUE, STEP, KILL
    Action action = Action::NONE;
};

// Answers one packet body. `stop` is the last stop reply (for ?).
Reply answer(std::string_view packet, Target& target, std::string_view stop);

// The target description (qXfer:features:read:target.xml).
extern const std::string_view TARGET_XML;

} // namespace gdb
