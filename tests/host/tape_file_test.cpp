// Tape files read into the cassette's signal: every TZX block type with the length of signal it
// plays, a recording through its threshold, and damaged files that give a reason, not a tape.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <zlib.h>

#include "host/tape_file.h"
#include "tests/host/tape_files.h"

namespace {

using namespace tape_files;

uint64_t duration(const TapeImage& image)
{
    return std::accumulate(image.spans.begin(), image.spans.end(), uint64_t(0),
                           [](uint64_t t, uint32_t s) { return t + (s & SPAN_LENGTH); });
}

Bytes tzx(const Bytes& blocks)
{
    Bytes f = tzx_header();
    f.resize(f.size() + blocks.size());
    std::copy(blocks.begin(), blocks.end(), f.end() - std::ptrdiff_t(blocks.size()));
    return f;
}

// A CSW block (18h) of pulses 2, 3 and 5 samples long at 35 kHz (100 T-states a sample).
Bytes csw(bool z_rle)
{
    Bytes rle = {2, 3, 0, 5, 0, 0, 0};
    if (z_rle) {
        uLongf size = compressBound(uLong(rle.size()));
        Bytes packed(size);
        compress(packed.data(), &size, rle.data(), uLong(rle.size()));
        packed.resize(size);
        rle = packed;
    }
    Bytes b = {0x18};
    put(b, uint32_t(10 + rle.size()), 4);
    put(b, 0, 2);
    put(b, 35000, 3);
    b.push_back(z_rle ? 2 : 1);
    put(b, 3, 4);
    b.insert(b.end(), rle.begin(), rle.end());
    return b;
}

// Block 19h: a pilot symbol of one 1000 T-state pulse five times, then four data symbols of
// one bit each (two pulses of 100 or 200) from the bits 1010.
Bytes generalized()
{
    Bytes body;
    put(body, 0, 2);
    put(body, 1, 4), body.push_back(1), body.push_back(1);
    put(body, 4, 4), body.push_back(2), body.push_back(2);
    body.push_back(0), put(body, 1000, 2);      // pilot symbol 0
    body.push_back(0), put(body, 5, 2);         // symbol 0, five times
    body.push_back(0), put(body, 100, 2), put(body, 100, 2);
    body.push_back(0), put(body, 200, 2), put(body, 200, 2);
    body.push_back(0xA0);
    Bytes b = {0x19};
    put(b, uint32_t(body.size()), 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

} // namespace

TEST(TapeFile, EveryTzxBlockPlaysItsSignal)
{
    const uint64_t pilot = 3223 * 2168 + 667 + 735;
    const struct { const char* what; Bytes blocks; uint64_t t_states; size_t count; TapeBlockKind kind; } CASES[] = {
        {"10h standard", {0x10, 0, 0, 2, 0, 0xFF, 0x00}, pilot + 8 * 3420 + 8 * 1710, 1, BLOCK_STANDARD},
        {"11h turbo, 4 bits used", {0x11, 0xE8, 3, 100, 0, 200, 0, 44, 1, 88, 2, 10, 0, 4, 0, 0, 1, 0, 0, 0xF0}, 10000 + 300 + 4 * 1200, 1, BLOCK_SIGNAL},
        {"12h tone", {0x12, 0xF4, 1, 7, 0}, 3500, 1, BLOCK_SIGNAL},
        {"13h pulses", {0x13, 3, 100, 0, 200, 0, 44, 1}, 600, 1, BLOCK_SIGNAL},
        {"14h pure data, 1 ms pause", {0x14, 100, 0, 200, 0, 8, 1, 0, 1, 0, 0, 0x80}, 400 + 1400 + 3500, 1, BLOCK_SIGNAL},
        {"15h direct recording", {0x15, 79, 0, 0, 0, 8, 2, 0, 0, 0xF0, 0x0F}, 16 * 79, 1, BLOCK_SIGNAL},
        {"18h CSW", csw(false), 1000, 1, BLOCK_SIGNAL},
        {"18h CSW, Z-RLE", csw(true), 1000, 1, BLOCK_SIGNAL},
        {"19h generalized", generalized(), 5000 + 1200, 1, BLOCK_SIGNAL},
        {"20h pause", {0x20, 2, 0, 0x12, 100, 0, 1, 0}, 7000 + 100, 2, BLOCK_SIGNAL},
        {"20h stop", {0x20, 0, 0, 0x12, 100, 0, 1, 0}, 100, 2, BLOCK_STOP},
        {"21h/22h group", {0x21, 2, 'a', 'b', 0x22, 0x12, 100, 0, 1, 0}, 100, 3, BLOCK_SIGNAL},
        {"24h/25h loop of 3", {0x24, 3, 0, 0x12, 100, 0, 1, 0, 0x25}, 300, 7, BLOCK_SIGNAL},
        {"2Ah stop on 48K", {0x2A, 0, 0, 0, 0, 0x12, 100, 0, 1, 0}, 100, 2, BLOCK_STOP_48K},
        {"2Bh level", {0x2B, 1, 0, 0, 0, 1, 0x12, 100, 0, 1, 0}, 100, 2, BLOCK_SIGNAL},
        {"30h-35h, 5Ah", {0x30, 1, 'x', 0x31, 5, 1, 'y', 0x32, 1, 0, 0, 0x33, 1, 0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 0,
                          0x35, 'i', 'd', 'i', 'd', 'i', 'd', 'i', 'd', 'i', 'd', 'i', 'd', 'i', 'd', 'i', 'd', 1, 0, 0, 0, 'z',
                          0x5A, 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x12, 100, 0, 1, 0}, 100, 8, BLOCK_SIGNAL},
        {"unknown 4Bh skipped", {0x4B, 3, 0, 0, 0, 1, 2, 3, 0x12, 100, 0, 1, 0}, 100, 2, BLOCK_SIGNAL},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.what);
        const Bytes f = tzx(c.blocks);
        TapeImage image;
        testing::internal::CaptureStderr();
        const char* why = tape_parse(TapeFormat::TZX, f.data(), uint32_t(f.size()), "t.tzx", image);
        const std::string warned = testing::internal::GetCapturedStderr();
        ASSERT_EQ(why, nullptr) << why;
        EXPECT_EQ(duration(image), c.t_states);
        EXPECT_EQ(image.blocks.size(), c.count);
        EXPECT_EQ(image.blocks.front().kind, c.kind);
        EXPECT_EQ(warned.find("block 4Bh") != std::string::npos, std::string(c.what).find("4Bh") != std::string::npos) << warned;
    }
}

// A loader times each bit by its two edges, so a block's last bit needs the edge that starts
// its pause, whichever level its last pulse left: one bit of pure data (two pulses) after a
// tone of no pulse and of one pulse, so that the data ends low and high.
TEST(TapeFile, APauseBeginsWithTheEdgeThatEndsTheLastPulse)
{
    for (const uint8_t tone : {0, 1}) {
        const Bytes f = tzx({0x12, 0x78, 0x08, tone, 0x00,                                // pure tone
                             0x14, 0x57, 0x03, 0xAE, 0x06, 0x01, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x00});
        TapeImage image;
        ASSERT_EQ(tape_parse(TapeFormat::TZX, f.data(), uint32_t(f.size()), "t.tzx", image), nullptr);
        // The tone's pulse, two data pulses, then the pause: 1 ms at the other level, then low.
        const size_t pause = tone + 2u;
        ASSERT_GT(image.spans.size(), pause) << int(tone);
        EXPECT_NE(image.spans[pause - 1] & SPAN_HIGH, image.spans[pause] & SPAN_HIGH) << int(tone);
    }
}

TEST(TapeFile, ARecordingIsReadThroughAThresholdInEveryLayout)
{
    const std::vector<uint32_t> pulses(10, 7937); // 100 samples each at 44.1 kHz
    for (const auto& [channels, bits] : {std::pair<uint16_t, uint16_t>{1, 16}, {2, 8}}) {
        SCOPED_TRACE(channels * 100 + bits);
        const Bytes f = wav(pulses_as_samples(pulses, 44100), 44100, channels, bits);
        TapeImage image;
        ASSERT_EQ(tape_parse(TapeFormat::WAV, f.data(), uint32_t(f.size()), "t.wav", image), nullptr);
        ASSERT_EQ(image.spans.size(), 10u);
        for (size_t i = 0; i + 1 < image.spans.size(); ++i) {
            EXPECT_EQ((image.spans[i] & SPAN_HIGH) != 0, i % 2 == 0) << i;
            EXPECT_NEAR(double(image.spans[i] & SPAN_LENGTH), 7937.0, 80.0) << i;
        }
    }
}

TEST(TapeFile, DamagedFilesGiveAReasonAndNoTape)
{
    Bytes wav24 = wav({1, 2, 3}, 44100, 1, 16);
    wav24[34] = 24;
    Bytes adpcm = wav({1, 2, 3}, 44100, 1, 16);
    adpcm[20] = 2;
    const struct { TapeFormat format; Bytes file; const char* says; } CASES[] = {
        {TapeFormat::TAP, {0x13, 0x00, 0x00, 0x03}, "runs past the end"},
        {TapeFormat::TAP, {0x05}, "runs past the end"},
        {TapeFormat::TAP, {}, "holds no signal"},
        {TapeFormat::TZX, {'Z', 'X', 'T', 'a', 'p', 'e'}, "not a TZX file"},
        {TapeFormat::TZX, tzx({0x10, 0, 0, 0xFF, 0xFF, 1, 2}), "runs past the end"},
        {TapeFormat::TZX, tzx({0x4B, 0xFF, 0xFF, 0xFF, 0x7F, 1}), "runs past the end"},
        {TapeFormat::TZX, tzx({0x18, 10, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0}), "damaged CSW"},
        {TapeFormat::TZX, tzx({0x19, 14, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}), "damaged generalized"},
        {TapeFormat::WAV, {}, "not a WAV file"},
        {TapeFormat::WAV, wav({}, 44100, 1, 16), "no samples"},
        {TapeFormat::WAV, wav24, "not 8 or 16 bits"},
        {TapeFormat::WAV, adpcm, "not PCM"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.says);
        TapeImage image;
        testing::internal::CaptureStderr();
        const char* why = tape_parse(c.format, c.file.data(), uint32_t(c.file.size()), "bad", image);
        testing::internal::GetCapturedStderr();
        ASSERT_NE(why, nullptr);
        EXPECT_NE(std::string(why).find(c.says), std::string::npos) << why;
        EXPECT_TRUE(image.spans.empty() && image.blocks.empty());
    }
}
