#include "host/gdb_server.h"

#include <SDL/SDL.h>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cpu/breakpoints.h"
#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/gdb_protocol.h"
#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/status_line.h"

namespace {

constexpr size_t MAX_WATCHES = 16;
constexpr int STOPPED_POLL_MS = 20;   // how often a stopped machine's window is served
constexpr uint32_t REDRAW_MS = 100;   // ... and redrawn

struct Watch {
    gdb::Point kind;
    uint16_t address;
    uint32_t length; // 0: the entry is free
};

// The debugger's state, all on the host side.
struct Debugger {
    int listener = -1;
    int client = -1;
    gdb::Framer framer;
    std::string last_sent;
    std::string stop_reply = "T05";
    bool client_waits = false; // the client resumed the machine and waits for a stop reply
    bool running = false;
    bool stepping = false;
    bool interrupted = false;  // Ctrl-C, or a client that came while the machine ran
    bool watch_hit = false;
    gdb::Point hit_kind = gdb::Point::WRITE;
    uint16_t hit_address = 0;
    std::array<uint8_t, 0x2000> software{}, hardware{}; // Z0 and Z1, one bit per address
    uint32_t breakpoint_count = 0;
    std::array<Watch, MAX_WATCHES> watches{};
};

Debugger debugger;
void (*next_powered_on)() = nullptr;
void (*next_frame_end)() = nullptr;

// ---- Breakpoints and watches ------------------------------------------------------------

bool has_bit(const std::array<uint8_t, 0x2000>& bits, uint16_t a) { return (bits[a >> 3] >> (a & 7)) & 1; }

void set_breakpoint(gdb::Point kind, uint16_t a, bool on)
{
    auto& bits = kind == gdb::Point::SOFTWARE ? debugger.software : debugger.hardware;
    if (has_bit(bits, a) == on)
        return;
    bits[a >> 3] ^= uint8_t(1u << (a & 7));
    debugger.breakpoint_count += on ? 1 : uint32_t(-1);
    breakpoint_bits[a >> 3] = uint8_t(debugger.software[a >> 3] | debugger.hardware[a >> 3]);
    breakpoints_armed = debugger.breakpoint_count != 0;
}

bool reads(gdb::Point k) { return k == gdb::Point::READ || k == gdb::Point::ACCESS; }
bool writes(gdb::Point k) { return k == gdb::Point::WRITE || k == gdb::Point::ACCESS; }

// What the CPU touched on a watched page: a watch that covers it stops the machine after the
// instruction; the first such access is the one reported.
void seen(uint16_t address, bool write)
{
    for (const Watch& w : debugger.watches) {
        if (w.length == 0 || address < w.address || uint32_t(address - w.address) >= w.length)
            continue;
        if (write ? !writes(w.kind) : !reads(w.kind))
            continue;
        if (!debugger.watch_hit) {
            debugger.watch_hit = true;
            debugger.hit_kind = w.kind;
            debugger.hit_address = address;
        }
        event_raise(EV_DEBUG);
        return;
    }
}

// The pages the watches cover go through the watching handlers; the rest stay as they are.
void place_watches()
{
    uint16_t read_pages = 0, write_pages = 0;
    for (const Watch& w : debugger.watches) {
        if (w.length == 0)
            continue;
        for (uint32_t page = w.address >> 12; page <= (w.address + w.length - 1) >> 12; ++page) {
            read_pages |= reads(w.kind) ? uint16_t(1u << page) : 0;
            write_pages |= writes(w.kind) ? uint16_t(1u << page) : 0;
        }
    }
    watch_pages(read_pages, write_pages, read_pages | write_pages ? seen : nullptr);
}

void clear_points()
{
    debugger.software.fill(0);
    debugger.hardware.fill(0);
    breakpoint_bits.fill(0);
    debugger.breakpoint_count = 0;
    breakpoints_armed = false;
    debugger.watches.fill(Watch{});
    place_watches();
}

// ---- The machine as the protocol sees it ---------------------------------------------------

struct Machine final : gdb::Target {
    gdb::Registers registers() override
    {
        const CpuState& c = cpu;
        if (machine_kind == PMD85) // the 8080 has none of the Z80's other registers
            return {c.af, c.bc, c.de, c.hl, c.sp, c.pc};
        return {c.af, c.bc, c.de, c.hl, c.sp, c.pc, c.ix, c.iy, c.af2, c.bc2, c.de2, c.hl2,
                uint16_t(c.i << 8 | c.r7 | (c.r & 0x7F))};
    }

    void set_register(int n, uint16_t v) override
    {
        CpuState& c = cpu;
        uint16_t* const pairs[] = {&c.af, &c.bc, &c.de, &c.hl, &c.sp, &c.pc, &c.ix, &c.iy, &c.af2, &c.bc2, &c.de2, &c.hl2};
        if (n >= 6 && machine_kind == PMD85)
            return;
        if (n < 12) {
            *pairs[n] = v;
            return;
        }
        c.i = hi(v);
        c.r = lo(v);
        c.r7 = lo(v) & 0x80;
    }

    bool peek(uint16_t address, uint8_t& value) override { return debug_read(address, value); }
    bool poke(uint16_t address, uint8_t value) override { return debug_write(address, value); }

    bool insert(gdb::Point kind, uint16_t address, uint32_t length) override
    {
        if (kind <= gdb::Point::HARDWARE) {
            set_breakpoint(kind, address, true);
            return true;
        }
        for (Watch& w : debugger.watches)
            if (w.length == 0) {
                w = {kind, address, length};
                place_watches();
                return true;
            }
        return false;
    }

    void remove(gdb::Point kind, uint16_t address, uint32_t length) override
    {
        if (kind <= gdb::Point::HARDWARE) {
            set_breakpoint(kind, address, false);
            return;
        }
        for (Watch& w : debugger.watches)
            if (w.length == length && w.kind == kind && w.address == address) {
                w = Watch{};
                place_watches();
                return;
            }
    }
};

Machine machine;

// ---- The connection ---------------------------------------------------------------------

void send_raw(const std::string& bytes)
{
    size_t done = 0;
    while (debugger.client >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(debugger.client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd p{debugger.client, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return; // the reading side finds the connection gone
        }
    }
}

void send_packet(const std::string& body)
{
    debugger.last_sent = gdb::frame(body);
    send_raw(debugger.last_sent);
}

// A client gone (or detached): the machine runs on as if none had come.
void drop_client()
{
    if (debugger.client >= 0)
        ::close(debugger.client);
    debugger.client = -1;
    debugger.framer = gdb::Framer{};
    debugger.client_waits = false;
    debugger.stepping = false;
    clear_points();
}

// Takes a waiting connection: the first becomes the client, any other is closed at once.
// Returns true when a client arrived.
bool accept_client()
{
    bool arrived = false;
    for (;;) {
        const int fd = ::accept(debugger.listener, nullptr, nullptr);
        if (fd < 0)
            return arrived;
        if (debugger.client >= 0) {
            ::close(fd);
            continue;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        debugger.client = fd;
        debugger.framer = gdb::Framer{};
        debugger.client_waits = false;
        arrived = true;
    }
}

// Answers one packet; returns the action for the machine.
gdb::Action answer_packet(const std::string& packet)
{
    const gdb::Reply reply = gdb::answer(packet, machine, debugger.stop_reply);
    switch (reply.action) {
    case gdb::Action::CONTINUE:
    case gdb::Action::STEP:
        if (!reply.body.empty()) { // a malformed resume is refused, the machine stays
            send_packet(reply.body);
            return gdb::Action::NONE;
        }
        debugger.client_waits = true;
        debugger.running = true; // a Ctrl-C right behind the packet interrupts the run
        break;
    case gdb::Action::KILL: break;
    default: send_packet(reply.body); break;
    }
    return reply.action;
}

// Reads what the client sent; returns the last action asked for (NONE when none), or DETACH
// when the connection has gone.
gdb::Action read_client()
{
    gdb::Action action = gdb::Action::NONE;
    uint8_t buffer[4096];
    while (debugger.client >= 0) {
        const ssize_t n = ::recv(debugger.client, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            drop_client();
            return gdb::Action::DETACH;
        }
        if (n < 0)
            return action;
        for (ssize_t i = 0; i < n && debugger.client >= 0; ++i) {
            switch (debugger.framer.feed(buffer[i])) {
            case gdb::Framer::Input::PACKET:
                send_raw("+");
                if (const gdb::Action a = answer_packet(debugger.framer.body()); a != gdb::Action::NONE)
                    action = a;
                break;
            case gdb::Framer::Input::TOO_LONG:
                send_raw("+");
                send_packet("E01");
                break;
            case gdb::Framer::Input::BAD_CHECKSUM: send_raw("-"); break;
            case gdb::Framer::Input::NAK: send_raw(debugger.last_sent); break;
            case gdb::Framer::Input::INTERRUPT:
                if (debugger.running) { // a stopped machine has nothing to interrupt
                    debugger.interrupted = true;
                    event_raise(EV_DEBUG);
                }
                break;
            case gdb::Framer::Input::NONE: break;
            }
            if (action == gdb::Action::KILL || action == gdb::Action::DETACH)
                return action;
        }
    }
    return action;
}

// ---- Stopped and running --------------------------------------------------------------------

// The window while stopped: its events are served, it is redrawn now and then with the status
// line showing, and the time the machine spends stopped is not owed to it afterwards.
void serve_window(uint32_t& last_redraw)
{
    if (quit_requested)
        std::exit(0); // as the window's close: the exit hook saves what the devices still hold
    if (!screen)
        return;
    drain_window_events();
    const uint32_t now = SDL_GetTicks();
    if (now - last_redraw >= REDRAW_MS) {
        last_redraw = now;
        key_matrix.status_visible = 1;
        present_frame();
    }
}

// Stopped: packets are answered until the client resumes, detaches or goes; with no client the
// machine waits for one.
void serve_stopped()
{
    const int32_t shown = key_matrix.status_visible;
    const int32_t cursor = status_line.cursor;
    status_line.cursor = 32;
    status_print(" STOPPED");
    status_line.cursor = cursor;
    if (screen && !start_muted)
        SDL_PauseAudio(1);
    debugger.running = false;
    uint32_t last_redraw = 0;
    for (bool stopped = true; stopped;) {
        pollfd p[2] = {{debugger.listener, POLLIN, 0}, {debugger.client, POLLIN, 0}};
        ::poll(p, debugger.client >= 0 ? 2 : 1, STOPPED_POLL_MS);
        const bool had_client = debugger.client >= 0;
        accept_client();
        serve_window(last_redraw);
        if (!had_client)
            continue; // a client that has just come asks first
        switch (read_client()) {
        case gdb::Action::CONTINUE: stopped = false; break;
        case gdb::Action::STEP:
            debugger.stepping = true;
            event_raise(EV_DEBUG); // the run loop returns after one instruction
            stopped = false;
            break;
        case gdb::Action::DETACH:
            drop_client();
            stopped = false;
            break;
        case gdb::Action::KILL:
            drop_client();
            std::exit(0); // the normal way out: the exit hook saves what the devices hold
        case gdb::Action::NONE: break;
        }
    }
    key_matrix.status_visible = shown;
    if (screen && !start_muted)
        SDL_PauseAudio(0);
    // The machine resumes where it stood: its breakpoint there lets the first instruction
    // through, and the pacing starts afresh, so that the stopped time is not caught up.
    breakpoint_resume = cpu.pc;
    last_ticks = host_clock.ticks();
    cycle_credit = -cpu.cycles;
    debugger.running = true;
}

std::string hex(uint32_t v)
{
    char text[12];
    std::snprintf(text, sizeof text, "%x", v);
    return text;
}

// EV_DEBUG from the main loop: a step done, a breakpoint or watch reached, or a stop request.
void stop()
{
    Debugger& d = debugger;
    if (d.client < 0 && !d.interrupted)
        return; // a request left from a client that has gone
    if (d.watch_hit) {
        const char* kind = d.hit_kind == gdb::Point::WRITE ? "watch" : d.hit_kind == gdb::Point::READ ? "rwatch" : "awatch";
        d.stop_reply = "T05" + std::string(kind) + ":" + hex(d.hit_address) + ";";
    } else if (d.stepping) {
        d.stop_reply = "T05";
    } else if (d.interrupted) {
        d.stop_reply = "T02";
    } else if (breakpoint_at(cpu.pc)) {
        d.stop_reply = has_bit(d.software, cpu.pc) ? "T05swbreak:;" : "T05hwbreak:;";
    } else {
        d.stop_reply = "T05";
    }
    d.stepping = false;
    d.interrupted = false;
    d.watch_hit = false;
    if (d.client_waits) {
        d.client_waits = false;
        send_packet(d.stop_reply);
    }
    serve_stopped();
}

// At every frame end while the machine runs: a client arriving stops it (it expects a stopped
// machine), Ctrl-C stops it, and a client that has gone is let go.
void poll_running()
{
    if (next_frame_end)
        next_frame_end();
    if (accept_client()) { // what it sends is read once the machine has stopped
        debugger.interrupted = true;
        event_raise(EV_DEBUG);
        return;
    }
    if (debugger.client < 0)
        return;
    switch (read_client()) {
    case gdb::Action::KILL:
        drop_client();
        std::exit(0);
    case gdb::Action::DETACH: drop_client(); break;
    default: break;
    }
}

// The machine's first instruction waits for the client.
void first_stop()
{
    if (next_powered_on)
        next_powered_on();
    debugger.stop_reply = "T05";
    serve_stopped();
}

} // namespace

bool gdb_listen(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // this host only
    const int one = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
        std::fprintf(stderr, "kestrel: --gdb %u: cannot listen on 127.0.0.1:%u (%s)\n", port, port, std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    debugger.listener = fd;
    next_powered_on = start_hooks.powered_on;
    start_hooks.powered_on = first_stop;
    next_frame_end = frame_end_hook;
    frame_end_hook = poll_running;
    debug_stop = stop;
    return true;
}
