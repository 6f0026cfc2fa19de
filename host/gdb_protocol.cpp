#include "host/gdb_protocol.h"

#include <algorithm>

namespace gdb {

namespace {

constexpr char HEX[] = "0123456789abcdef";
constexpr uint32_t ADDRESS_SPACE = 0x10000;

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A whole field of 1-8 hexadecimal digits.
bool parse_hex(std::string_view text, uint32_t& value)
{
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        const int d = hex_digit(c);
        if (d < 0)
            return false;
        value = value << 4 | uint32_t(d);
    }
    return true;
}

// Splits text at the first `mark`: the part before into head, the rest into tail.
bool split(std::string_view text, char mark, std::string_view& head, std::string_view& tail)
{
    const size_t at = text.find(mark);
    if (at == std::string_view::npos)
        return false;
    head = text.substr(0, at);
    tail = text.substr(at + 1);
    return true;
}

// "ADDR,LENGTH" inside the address space; a zero length is allowed where `empty_ok`.
bool parse_range(std::string_view text, uint32_t& address, uint32_t& length, bool empty_ok = true)
{
    std::string_view a, l;
    return split(text, ',', a, l) && parse_hex(a, address) && parse_hex(l, length) && address < ADDRESS_SPACE &&
           length <= ADDRESS_SPACE - address && (empty_ok || length > 0);
}

void put_byte(std::string& out, uint8_t b)
{
    out += HEX[b >> 4];
    out += HEX[b & 0x0F];
}

// The 16-bit value low byte first, as the registers travel.
void put_word(std::string& out, uint16_t w)
{
    put_byte(out, uint8_t(w));
    put_byte(out, uint8_t(w >> 8));
}

bool parse_word(std::string_view text, uint16_t& w)
{
    uint32_t lo = 0, hi = 0;
    if (text.size() != 4 || !parse_hex(text.substr(0, 2), lo) || !parse_hex(text.substr(2, 2), hi))
        return false;
    w = uint16_t(hi << 8 | lo);
    return true;
}

const std::string ERROR_ARGUMENT = "E01"; // malformed, out of range or too long
const std::string ERROR_NO_ROOM = "E02";  // no room for another watch
const std::string ERROR_MEMORY = "E03";   // no memory there
const std::string OK = "OK";

std::string read_memory(std::string_view args, Target& target)
{
    uint32_t address = 0, length = 0;
    if (!parse_range(args, address, length) || length > PACKET_SIZE / 2)
        return ERROR_ARGUMENT;
    std::string out;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = 0;
        if (!target.peek(uint16_t(address + i), b))
            break; // the bytes up to the first that holds no memory
        put_byte(out, b);
    }
    return out.empty() && length ? ERROR_MEMORY : out;
}

// M (hex data) and X (binary data): every byte is written that can be; E03 if any could not.
std::string write_memory(std::string_view args, bool binary, Target& target)
{
    std::string_view range, data;
    uint32_t address = 0, length = 0;
    if (!split(args, ':', range, data) || !parse_range(range, address, length))
        return ERROR_ARGUMENT;
    if (data.size() != (binary ? length : 2 * length))
        return ERROR_ARGUMENT;
    for (uint32_t i = 0; !binary && i < length; ++i)
        if (hex_digit(data[2 * i]) < 0 || hex_digit(data[2 * i + 1]) < 0)
            return ERROR_ARGUMENT;
    bool all = true;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t b = binary ? uint8_t(data[i]) : uint8_t(hex_digit(data[2 * i]) << 4 | hex_digit(data[2 * i + 1]));
        all = target.poke(uint16_t(address + i), b) && all;
    }
    return all ? OK : ERROR_MEMORY;
}

std::string registers(Target& target)
{
    std::string out;
    for (uint16_t r : target.registers())
        put_word(out, r);
    return out;
}

std::string write_registers(std::string_view data, Target& target)
{
    Registers values{};
    if (data.size() != 4 * REGISTER_COUNT)
        return ERROR_ARGUMENT;
    for (int n = 0; n < REGISTER_COUNT; ++n)
        if (!parse_word(data.substr(4 * size_t(n), 4), values[size_t(n)]))
            return ERROR_ARGUMENT;
    for (int n = 0; n < REGISTER_COUNT; ++n)
        target.set_register(n, values[size_t(n)]);
    return OK;
}

std::string read_register(std::string_view args, Target& target)
{
    uint32_t n = 0;
    if (!parse_hex(args, n) || n >= REGISTER_COUNT)
        return ERROR_ARGUMENT;
    std::string out;
    put_word(out, target.registers()[n]);
    return out;
}

std::string write_register(std::string_view args, Target& target)
{
    std::string_view number, value;
    uint32_t n = 0;
    uint16_t w = 0;
    if (!split(args, '=', number, value) || !parse_hex(number, n) || n >= REGISTER_COUNT || !parse_word(value, w))
        return ERROR_ARGUMENT;
    target.set_register(int(n), w);
    return OK;
}

// Z and z: TYPE,ADDR,KIND. A watch covers KIND bytes from ADDR; a breakpoint's KIND (its size
// in memory) is taken but only its address counts.
std::string breakpoint(std::string_view args, bool insert, Target& target)
{
    std::string_view type, range, a, k;
    uint32_t t = 0, address = 0, length = 0;
    if (!split(args, ',', type, range) || !parse_hex(type, t) || t > 4)
        return ""; // a kind not offered
    const Point kind = Point(t);
    if (kind >= Point::WRITE) {
        if (!parse_range(range, address, length, false))
            return ERROR_ARGUMENT;
    } else if (!split(range, ',', a, k) || !parse_hex(a, address) || !parse_hex(k, length) || address >= ADDRESS_SPACE) {
        return ERROR_ARGUMENT;
    } else {
        length = 1;
    }
    if (!insert) {
        target.remove(kind, uint16_t(address), length);
        return OK;
    }
    return target.insert(kind, uint16_t(address), length) ? OK : ERROR_NO_ROOM;
}

// c [ADDR], s [ADDR], C SIG[;ADDR], S SIG[;ADDR]: the address, when given, becomes pc.
Reply resume(std::string_view args, bool with_signal, Action action, Target& target)
{
    if (with_signal) {
        std::string_view signal, rest;
        if (!split(args, ';', signal, rest)) {
            signal = args;
            rest = {};
        }
        uint32_t s = 0;
        if (!parse_hex(signal, s))
            return {ERROR_ARGUMENT};
        args = rest;
    }
    if (!args.empty()) {
        uint32_t address = 0;
        if (!parse_hex(args, address) || address >= ADDRESS_SPACE)
            return {ERROR_ARGUMENT};
        target.set_register(5, uint16_t(address));
    }
    return {"", action};
}

// vCont;ACTION[:THREAD]...: one thread, so a step anywhere in the list steps, else it continues.
Reply resume_list(std::string_view actions)
{
    Action action = Action::NONE;
    while (!actions.empty()) {
        if (actions[0] != ';')
            return {ERROR_ARGUMENT};
        actions.remove_prefix(1);
        const size_t end = std::min(actions.find(';'), actions.size());
        const std::string_view one = actions.substr(0, std::min(actions.find(':'), end));
        const bool with_signal = one.size() == 3 && hex_digit(one[1]) >= 0 && hex_digit(one[2]) >= 0;
        if (one == "s" || (with_signal && one[0] == 'S'))
            action = Action::STEP;
        else if (one == "c" || (with_signal && one[0] == 'C'))
            action = action == Action::NONE ? Action::CONTINUE : action;
        else
            return {ERROR_ARGUMENT};
        actions.remove_prefix(end);
    }
    if (action == Action::NONE)
        return {ERROR_ARGUMENT};
    return {"", action};
}

// Binary data in a reply: the protocol's framing characters escaped.
void put_escaped(std::string& out, std::string_view data)
{
    for (char c : data) {
        if (c == '#' || c == '$' || c == '}' || c == '*') {
            out += '}';
            out += char(c ^ 0x20);
        } else {
            out += c;
        }
    }
}

std::string features(std::string_view args)
{
    std::string_view annex, range;
    uint32_t offset = 0, length = 0;
    std::string_view o, l;
    if (!split(args, ':', annex, range) || annex != "target.xml" || !split(range, ',', o, l) || !parse_hex(o, offset) ||
        !parse_hex(l, length))
        return ERROR_ARGUMENT;
    length = std::min(length, PACKET_SIZE / 2);
    if (offset >= TARGET_XML.size())
        return "l";
    const std::string_view part = TARGET_XML.substr(offset, length);
    std::string out = offset + part.size() >= TARGET_XML.size() ? "l" : "m";
    put_escaped(out, part);
    return out;
}

bool starts(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

} // namespace

Framer::Input Framer::feed(uint8_t b)
{
    switch (state_) {
    case State::IDLE:
        if (b == '$') {
            state_ = State::BODY;
            body_.clear();
            sum_ = 0;
            too_long_ = false;
        }
        return b == 0x03 ? Input::INTERRUPT : b == '-' ? Input::NAK : Input::NONE;
    case State::BODY:
        if (b == '#') {
            state_ = State::SUM_HIGH;
            return Input::NONE;
        }
        if (b == '$') { // a packet begun again: the first is lost
            body_.clear();
            sum_ = 0;
            too_long_ = false;
            return Input::NONE;
        }
        sum_ = uint8_t(sum_ + b);
        if (b == '}') {
            state_ = State::ESCAPE;
            return Input::NONE;
        }
        break;
    case State::ESCAPE:
        sum_ = uint8_t(sum_ + b);
        b ^= 0x20;
        state_ = State::BODY;
        break;
    case State::SUM_HIGH:
    case State::SUM_LOW: {
        const int d = hex_digit(char(b));
        if (d < 0) {
            state_ = State::IDLE;
            return Input::BAD_CHECKSUM;
        }
        given_ = uint8_t(given_ << 4 | d);
        if (state_ == State::SUM_HIGH) {
            state_ = State::SUM_LOW;
            return Input::NONE;
        }
        state_ = State::IDLE;
        if (given_ != sum_)
            return Input::BAD_CHECKSUM;
        return too_long_ ? Input::TOO_LONG : Input::PACKET;
    }
    }
    if (body_.size() < PACKET_SIZE)
        body_ += char(b);
    else
        too_long_ = true;
    return Input::NONE;
}

std::string frame(std::string_view body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum = uint8_t(sum + uint8_t(c));
    std::string out = "$";
    out += body;
    out += '#';
    put_byte(out, sum);
    return out;
}

Reply answer(std::string_view packet, Target& target, std::string_view stop)
{
    if (packet.empty())
        return {};
    const std::string_view args = packet.substr(1);
    switch (packet[0]) {
    case '?': return {std::string(stop)};
    case 'g': return {args.empty() ? registers(target) : ERROR_ARGUMENT};
    case 'G': return {write_registers(args, target)};
    case 'p': return {read_register(args, target)};
    case 'P': return {write_register(args, target)};
    case 'm': return {read_memory(args, target)};
    case 'M': return {write_memory(args, false, target)};
    case 'X': return {write_memory(args, true, target)};
    case 'c': return resume(args, false, Action::CONTINUE, target);
    case 's': return resume(args, false, Action::STEP, target);
    case 'C': return resume(args, true, Action::CONTINUE, target);
    case 'S': return resume(args, true, Action::STEP, target);
    case 'Z': return {breakpoint(args, true, target)};
    case 'z': return {breakpoint(args, false, target)};
    case 'D': return {OK, Action::DETACH};
    case 'k': return {"", Action::KILL};
    case 'H':
    case 'T': return {OK}; // one thread: selecting it or asking whether it lives
    default: break;
    }
    if (packet == "vCont?")
        return {"vCont;c;C;s;S"};
    if (starts(packet, "vCont;"))
        return resume_list(packet.substr(5));
    if (starts(packet, "qSupported"))
        return {"PacketSize=1000;qXfer:features:read+;swbreak+;hwbreak+"};
    if (packet == "qAttached" || starts(packet, "qAttached:"))
        return {"1"}; // the machine was there before the client
    if (starts(packet, "qXfer:features:read:"))
        return {features(packet.substr(20))};
    return {}; // not offered: the empty reply
}

const std::string_view TARGET_XML = R"(<?xml version="1.0"?>
<!DOCTYPE target SYSTEM "gdb-target.dtd">
<target version="1.0">
  <architecture>z80</architecture>
  <feature name="org.gnu.gdb.z80.cpu">
    <flags id="af_flags" size="2">
      <field name="C" start="0" end="0"/>
      <field name="N" start="1" end="1"/>
      <field name="P/V" start="2" end="2"/>
      <field name="F3" start="3" end="3"/>
      <field name="H" start="4" end="4"/>
      <field name="F5" start="5" end="5"/>
      <field name="Z" start="6" end="6"/>
      <field name="S" start="7" end="7"/>
    </flags>
    <reg name="af" bitsize="16" type="af_flags"/>
    <reg name="bc" bitsize="16" type="uint16"/>
    <reg name="de" bitsize="16" type="data_ptr"/>
    <reg name="hl" bitsize="16" type="data_ptr"/>
    <reg name="sp" bitsize="16" type="data_ptr"/>
    <reg name="pc" bitsize="16" type="code_ptr"/>
    <reg name="ix" bitsize="16" type="data_ptr"/>
    <reg name="iy" bitsize="16" type="data_ptr"/>
    <reg name="af'" bitsize="16" type="af_flags"/>
    <reg name="bc'" bitsize="16" type="uint16"/>
    <reg name="de'" bitsize="16" type="data_ptr"/>
    <reg name="hl'" bitsize="16" type="data_ptr"/>
    <reg name="ir" bitsize="16" type="uint16"/>
  </feature>
</target>
)";

} // namespace gdb
