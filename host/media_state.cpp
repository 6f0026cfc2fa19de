#include "host/media_state.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "host/tape_deck.h"
#include "machines/status_line.h"
#include "sidecar/devices_state.h"

namespace {

constexpr char MESSAGE[] = "media missing or changed: ";
std::array<char, 41> pending{}; // the status line's 40 columns; empty: nothing to show

void report(const char* name)
{
    std::fprintf(stderr, "%s%s\n", MESSAGE, name);
    if (pending[0] == '\0')
        std::snprintf(pending.data(), pending.size(), "%s%s", MESSAGE, name);
}

} // namespace

void media_state_gather()
{
    sidecar_state_gather();
    tape_media_gather();
}

void media_state_rebuild()
{
    sidecar_state_rebuild(report);
    tape_media_rebuild(report);
}

void media_state_frame()
{
    if (pending[0] == '\0')
        return;
    status_line.cursor = 0;
    status_print(pending.data());
    for (size_t n = std::strlen(pending.data()); n < 40; ++n)
        status_print_byte(' ');
    pending[0] = '\0';
}
