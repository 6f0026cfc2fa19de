#include "host/state_options.h"

#include <cstdlib>

#include "cpu/cpu.h"
#include "host/launch.h"
#include "host/state_file.h"

namespace {

std::string save_path, load_path;
StateMachine loaded{};

} // namespace

bool state_option(const std::string& option, const std::string& value, std::string& error)
{
    if (option == "--save-state") {
        save_path = value;
        if (value.empty())
            error = "--save-state needs a file";
        else if (!launch.headless) // the window's run ends with the program; checked again there
            std::atexit([] {
                if (!launch.headless)
                    state_options_finish();
            });
        return true;
    }
    if (option != "--load-state")
        return false;
    load_path = value;
    if (value.empty())
        error = "--load-state needs a file";
    else if (!state_load_file(value.c_str(), loaded))
        error = "-"; // already said
    return true;
}

bool state_options_agree(std::string& error)
{
    if (load_path.empty())
        return true;
    const StateMachine given{launch.machine, launch.japanese};
    if ((launch.machine_given && state_machine_name(given) != std::string(state_machine_name(loaded))) ||
        launch.media != Media::NONE) {
        error = load_path + ": a state of the " + state_machine_name(loaded) +
                " starts without another machine or FILE";
        return false;
    }
    launch.machine_given = true;
    launch.machine = loaded.kind;
    launch.japanese = loaded.japanese;
    return true;
}

bool state_options_start()
{
    if (load_path.empty())
        return false;
    state_apply();
    if (!launch.headless) { // the window paces against the host's own clock
        last_ticks = host_clock.ticks();
        cycle_credit = -cpu.cycles;
    }
    return true;
}

bool state_options_loaded() { return !load_path.empty(); }

bool state_options_finish() { return save_path.empty() || state_save_file(save_path.c_str()); }
