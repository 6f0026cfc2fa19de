// A GDB-protocol client debugging the real program over its socket: the headless MZ-800 waits
// stopped for the client, which puts a small program in RAM, steps through it, stops it at a
// breakpoint and a write watchpoint, interrupts it with Ctrl-C and detaches; the machine runs on
// until a second client comes, and that one ends the run.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A port the kernel has just given out, free again.
uint16_t free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

int connect_to(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < 200; ++attempt) { // the program is still starting
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        ::close(fd);
        ::usleep(50000);
    }
    return -1;
}

struct Client {
    int fd;

    void send_packet(const std::string& body) const
    {
        uint8_t sum = 0;
        for (char c : body)
            sum = uint8_t(sum + uint8_t(c));
        char tail[4];
        std::snprintf(tail, sizeof tail, "#%02x", sum);
        const std::string bytes = "$" + body + tail;
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // The next packet's body, acknowledged; "<closed>" when the connection ends first.
    std::string receive() const
    {
        char c = 0;
        do {
            if (::recv(fd, &c, 1, 0) != 1)
                return "<closed>";
        } while (c != '$');
        std::string body;
        while (::recv(fd, &c, 1, 0) == 1 && c != '#')
            body += c;
        char sum[2];
        ::recv(fd, sum, 2, MSG_WAITALL);
        ::send(fd, "+", 1, MSG_NOSIGNAL);
        return body;
    }

    std::string ask(const std::string& body) const
    {
        send_packet(body);
        return receive();
    }

    // Register n of a g reply (four hex digits, low byte first).
    uint16_t reg(int n) const
    {
        const std::string g = ask("g");
        return uint16_t(std::stoul(g.substr(4 * size_t(n) + 2, 2) + g.substr(4 * size_t(n), 2), nullptr, 16));
    }
};

constexpr int HL = 3, PC = 5, IX = 6;

TEST(GdbServer, AClientStepsStopsWatchesInterruptsAndDetaches)
{
    const fs::path card = fs::temp_directory_path() / ("kestrel-gdb-" + std::to_string(::getpid()));
    fs::create_directories(card);
    const std::string port = std::to_string(free_port());
    const std::string sd = card.string();
    const char* argv[] = {KESTREL_BINARY, "--headless", "--frames", "100000", "--sd", sd.c_str(), "--gdb", port.c_str(), nullptr};
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KESTREL_BINARY, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    const Client gdb{connect_to(uint16_t(std::stoi(port)))};
    ASSERT_GE(gdb.fd, 0);

    EXPECT_NE(gdb.ask("qSupported:swbreak+").find("PacketSize="), std::string::npos);
    EXPECT_EQ(gdb.ask("?"), "T05");
    EXPECT_EQ(gdb.reg(PC), 0x0000); // stopped before the first instruction

    // A second client is turned away while the first is connected.
    const Client second{connect_to(uint16_t(std::stoi(port)))};
    EXPECT_EQ(second.receive(), "<closed>");
    ::close(second.fd);

    // 4000h: DI; LD HL,4100h; LD IX,1234h; LD A,5Ah; LD (HL),A; INC HL; JP 4010h; NOP;
    // 4010h: INC A; LD (4180h),A; JR 4010h
    const std::string program = "f3210041dd2134123e5a7723c31040003c32804118fa";
    EXPECT_EQ(gdb.ask("M4000,16:" + program), "OK");
    EXPECT_EQ(gdb.ask("m4000,16"), program);
    EXPECT_EQ(gdb.ask("P5=0040"), "OK");
    EXPECT_EQ(gdb.ask("p5"), "0040");

    const struct { uint16_t pc; int reg; uint16_t value; } STEPS[] = {
        {0x4001, PC, 0x4001}, {0x4004, HL, 0x4100}, {0x4008, IX, 0x1234}, // the last one prefixed
    };
    for (const auto& step : STEPS) {
        EXPECT_EQ(gdb.ask("s"), "T05");
        EXPECT_EQ(gdb.reg(PC), step.pc);
        EXPECT_EQ(gdb.reg(step.reg), step.value);
    }

    EXPECT_EQ(gdb.ask("Z0,400c,1"), "OK");
    EXPECT_EQ(gdb.ask("c"), "T05swbreak:;");
    EXPECT_EQ(gdb.reg(PC), 0x400C);
    EXPECT_EQ(gdb.reg(HL), 0x4101);
    EXPECT_EQ(gdb.ask("m4100,1"), "5a");
    EXPECT_EQ(gdb.ask("z0,400c,1"), "OK");
    EXPECT_EQ(gdb.ask("s"), "T05");
    EXPECT_EQ(gdb.reg(PC), 0x4010); // the jump taken

    EXPECT_EQ(gdb.ask("Z2,4180,1"), "OK");
    EXPECT_EQ(gdb.ask("c"), "T05watch:4180;");
    EXPECT_EQ(gdb.reg(PC), 0x4014); // after the instruction that wrote
    EXPECT_EQ(gdb.ask("m4180,1"), "5b");
    EXPECT_EQ(gdb.ask("z2,4180,1"), "OK");

    gdb.send_packet("c");
    ::send(gdb.fd, "\x03", 1, MSG_NOSIGNAL);
    EXPECT_EQ(gdb.receive(), "T02");
    const uint16_t pc = gdb.reg(PC);
    EXPECT_TRUE(pc >= 0x4010 && pc <= 0x4015) << pc;

    EXPECT_EQ(gdb.ask("D"), "OK");
    ::close(gdb.fd);

    // The machine ran on: the next client finds it stopped somewhere in the loop, and quits it.
    const Client next{connect_to(uint16_t(std::stoi(port)))};
    EXPECT_EQ(next.ask("?"), "T02");
    EXPECT_EQ(next.ask("m4000,1"), "f3");
    next.send_packet("k");
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(next.fd);
    fs::remove_all(card);
}

} // namespace
