// The command line's save states: --save-state FILE writes the machine when the run ends (after
// its last frame), --load-state FILE starts from a saved machine. The file says the machine; a
// --machine or FILE argument naming another is an error before any window opens.
#pragma once

#include <string>

// Takes --save-state or --load-state with its value; false when `option` is neither. `error`
// is set when the value is unusable (the file is read and checked whole here).
bool state_option(const std::string& option, const std::string& value, std::string& error);
// Whether the state's machine agrees with the one the other options chose; the message when not.
bool state_options_agree(std::string& error);
// After power-on: the loaded state becomes the machine. True when one was loaded.
bool state_options_start();
// Whether a state was loaded at the start.
bool state_options_loaded();
// When the run ends: writes --save-state's file. False when it could not be written.
bool state_options_finish();
