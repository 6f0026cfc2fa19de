// The sound output path: the audio device and the per-line sample generator.
#pragma once

#include <cstdint>

// Opens the audio device (44100 Hz, 16-bit stereo, paused) and enables the sound port.
void sound_open();
