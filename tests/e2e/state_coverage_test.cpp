// Every writable variable of the devices' code is either in the state registry or known not to
// be state. A device that adds a variable and forgets to register it fails here, by name,
// before a saved machine comes back without it.
//
// The devices' objects are read with nm; each variable's address in this program is checked
// against the registry's blocks. Constant tables (UPPER_CASE names) are skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cpu/cpu_state.h"
#include "host/state_registry.h"

namespace {

// What is derived from the state or belongs to the host, as "object:variable".
const std::set<std::string> NOT_STATE = {
    // Derived: the installed handlers, costs and page slots, the machine's port handlers, the
    // GDG's text cache, the MZ-800's answered ports, the picture hooks, the sample source and
    // steps that follow the speed.
    "run_loop:dispatch_table", "run_loop:cycle_costs", "run_loop:installed_cycles",
    "run_loop:installed_threaded", "run_loop:installed_checked", "memory:page_read_slots",
    "memory:page_write", "memory:page_read_direct", "memory:page_write_direct",
    "memory:family_bytes", "memory:machine_read", "memory:machine_write", "machine:port_reader",
    "machine:port_writer", "gdg_video:text_epoch", "gdg_video:text_row_version",
    "gdg_video:expanded_from", "mz_ports:read_unanswered", "mz_ports:write_unanswered",
    "picture:picture", "sound:sound_source", "ay8912:ticks_per_sample", "speed:line_step",
    "speed:sample_step", "speed:speed_ratio",
    // Only while one access runs.
    "memory:in_open_bus",
    // The host's: the speed chosen, the clock, the debugger's breakpoints and watches, the
    // listener's volume and filter, the key decoder, the tape (a medium).
    "run_loop:speed_setting", "run_loop:host_clock", "run_loop:breakpoint_bits",
    "run_loop:breakpoints_armed", "run_loop:breakpoint_resume", "memory:watched_reads",
    "memory:watched_writes", "memory:watch_seen", "keyboard:volume_index", "keyboard:volume",
    "keyboard:filter_hz", "keyboard:filter_div", "key_translation:ps2_decoder", "tape:tape_image",
    // The Sidecar's host side: open files and listings, cached blocks, files named on the
    // command line, what the card says of the boot ROM.
    "sidecar:host", "fdc:hosts", "fdc:fd0_disabled", "quickdisk:host", "ramdisc:disc", "rom_module:module",
    "rom_module:module_host_path", "pmd_disk:held", "pmd_disk:directory", "pmd_disk:drive0_host_path",
    "media_record:granted", "media_record:granted_count",
};

struct Variable {
    std::string object, name;
};

// nm's "address type name" lines, with the object each comes from (an archive's members and a
// list of objects are headed by "file:" lines).
template <typename Each>
void each_symbol(const std::string& file, Each each)
{
    FILE* nm = ::popen(("nm -C --defined-only '" + file + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::string object = file;
    for (char buffer[4096]; std::fgets(buffer, sizeof buffer, nm);) {
        std::string line(buffer);
        line.pop_back(); // the newline
        if (!line.empty() && line.back() == ':')
            object = line.substr(0, line.size() - 1);
        else if (line.size() > 19 && line[16] == ' ' && line[18] == ' ')
            each(object, std::stoull(line.substr(0, 16), nullptr, 16), line[17], line.substr(19));
    }
    ::pclose(nm);
}

// An object's name without its folder and suffixes: "fdc" for ".../sidecar/fdc.cpp.o".
std::string stem(const std::string& object)
{
    const std::string base = std::filesystem::path(object).filename().string();
    return base.substr(0, base.find('.'));
}

// The last part of a name, without "(anonymous namespace)::" and other scopes.
std::string plain(const std::string& name)
{
    const size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

TEST(StateRegistry, ListsEveryVariableOfEveryDevice)
{
    std::vector<Variable> variables;
    std::ifstream list(DEVICE_OBJECTS);
    for (std::string file; std::getline(list, file);)
        each_symbol(file, [&](const std::string& object, uint64_t, char type, const std::string& name) {
            const std::string short_name = plain(name);
            const bool writable = std::string("bBdD").find(type) != std::string::npos;
            // The compiler's own: guards of statics, a sanitizer's "__odr_asan." markers.
            const bool compilers = name.starts_with("__") || name.starts_with("guard variable");
            if (!writable || compilers || short_name.empty() || std::isupper(uint8_t(short_name[0])))
                return;
            variables.push_back({stem(object), name});
        });
    ASSERT_GT(variables.size(), 30u) << "nm read nothing from " << DEVICE_OBJECTS;

    // Where this program put them: nm's addresses, moved by where the program was loaded.
    std::multimap<std::string, uint64_t> placed;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    each_symbol(program, [&](const std::string&, uint64_t address, char, const std::string& name) { placed.emplace(name, address); });
    const auto cpu_at = placed.find("cpu");
    ASSERT_NE(cpu_at, placed.end());
    const uint64_t load = uint64_t(reinterpret_cast<uintptr_t>(&cpu)) - cpu_at->second;

    const auto registered = [&](uint64_t address) {
        for (const StateEntry& e : state_entries()) {
            const uint64_t start = reinterpret_cast<uintptr_t>(e.data);
            if (address >= start && address < start + e.size)
                return true;
        }
        return false;
    };
    for (const Variable& v : variables) {
        if (NOT_STATE.count(v.object + ":" + plain(v.name)))
            continue;
        const auto [first, last] = placed.equal_range(v.name);
        bool covered = first != last;
        for (auto it = first; it != last; ++it)
            covered = covered && registered(it->second + load);
        EXPECT_TRUE(covered) << v.object << ": " << v.name
                             << " is not in the state registry; register it, or list it here if it is derived or the host's";
    }
}

} // namespace
