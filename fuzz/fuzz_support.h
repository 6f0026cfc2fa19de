// What the fuzz targets share: a scratch card with a few files and folders, put back for every
// input, next to a canary folder that must never change; and a reader of the input's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace fuzz {

// The card's host directory (created on first use), with SD/sidecar, two files and a folder.
const std::string& card();
// A file of the caller's, by its path on the card, and its contents.
using CardFile = std::pair<const char*, std::string_view>;
// Puts the card back as it started (skipped when nothing changed it), writes the caller's files
// and mounts it as the storage root.
void reset_card(std::initializer_list<CardFile> files = {});
// How many files the process holds open.
size_t open_handles();
// Aborts when anything in the canary folder beside the card was created, changed or deleted.
void check_canary();

// Consumes the input front to back; past the end every read gives 0.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint16_t word() { return uint16_t(byte() | byte() << 8); }
    // The next `count` bytes, or as many as are left.
    std::string_view bytes(size_t count)
    {
        const size_t n = count < size - at ? count : size - at;
        at += n;
        return {reinterpret_cast<const char*>(data + at - n), n};
    }
    // A name of up to `max` bytes, ended by a 00h byte of the input or its end (NUL-free).
    std::string name(size_t max);
};

} // namespace fuzz
