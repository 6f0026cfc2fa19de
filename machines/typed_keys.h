// Typing by character: which keys of an emulated keyboard produce a character, and how long the
// machine's keyboard scan needs them. Each machine family keeps one table beside its keyboard;
// the host's typing queue presses the keys through the typed-key overlay of the key matrix.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machines/keyboard.h"

// What goes with a key. The Shift and Ctrl of the matrix are the ZX Spectrum's CAPS SHIFT and
// SYMBOL SHIFT; EXTENDED first presses both shifts alone (the Spectrum's extended mode).
constexpr uint8_t WITH_SHIFT = 0x01;
constexpr uint8_t WITH_CTRL = 0x02;
constexpr uint8_t EXTENDED = 0x04;

struct TypedKey {
    char32_t ch;   // the character as Unicode; '\n' is Enter
    MatrixKey key;
    uint8_t with;  // WITH_SHIFT, WITH_CTRL, EXTENDED
};

struct TypingTable {
    const TypedKey* keys;
    size_t count;
    uint8_t hold_frames; // a key is held this long for the keyboard scan to see it
    uint8_t gap_frames;  // and released this long before the next, so that a repeat counts

    // The entry that types `ch`, or null when the machine has no key for it.
    constexpr const TypedKey* find(char32_t ch) const
    {
        for (size_t i = 0; i < count; ++i)
            if (keys[i].ch == ch)
                return &keys[i];
        return nullptr;
    }
};
