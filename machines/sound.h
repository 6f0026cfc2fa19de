// The sound path shared by all machines: the per-line sample generator with the sound chips
// of the current machine, the output filters, the ring buffer and the audio device.
#pragma once

#include <cstdint>

// Opens the audio device (44100 Hz, 16-bit stereo, paused) and enables the sound port.
void sound_open();

// SN76489 of the MZ-800 (port F2h).
void sn76489_write(uint8_t value);

// AY-3-8912 of the ZX Spectrum: register select and data.
void ay_select_write(uint8_t value);
void ay_data_write(uint8_t value);
