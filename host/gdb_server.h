// The debugger's server: a GDB-protocol client on 127.0.0.1:PORT debugs the running machine.
// The machine starts stopped before its first instruction and waits for a client; one client at
// a time (a second is turned away while one is connected). Breakpoints and watches are held by
// the emulator (memory is never patched) and live on the host, not in the machine's state.
// While stopped, time does not run: the window is redrawn and can be closed, the status line
// says STOPPED, and headless frames do not count.
#pragma once

#include <cstdint>

// Opens the listening socket and installs the debugger into the start-up, the frame end and the
// main loop. false (with a line on standard error) when the port cannot be had.
bool gdb_listen(uint16_t port);
