// Saved machines and their media, through the real program: a state records which image a
// floppy drive holds and where the controller stands in it, never the image's bytes. A read the
// save interrupted goes on after a load in a fresh process; an image changed or removed since is
// named on standard error and left out, and the rest of the machine loads.
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/program_run.h"

namespace {

namespace fs = std::filesystem;

// An MZ-700 program at 1200h: drive 1 with its motor on, restore, read sector 1 (512 bytes),
// and put its bytes on the screen one about every frame. The controller's bus inverts.
const std::vector<uint8_t> READER = {
    0x3E, 0x85, 0xD3, 0xDC, // LD A,85h; OUT (DCh),A: drive 1, motor on
    0x3E, 0xFF, 0xD3, 0xD8, // restore
    0x3E, 0xFE, 0xD3, 0xDA, // sector 1
    0x3E, 0x7F, 0xD3, 0xD8, // read sector
    0x21, 0x00, 0xD0,       // LD HL,D000h
    0xDB, 0xDB, 0x77, 0x23, // next: IN A,(DBh); LD (HL),A; INC HL
    0x01, 0x00, 0x0B, 0x0B, 0x78, 0xB1, 0x20, 0xFB, // a pause of about a frame
    0x18, 0xF2,             // JR next
};

class StateMedia : public ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        std::vector<uint8_t> mzf(128 + READER.size(), 0);
        mzf[0] = 1; // a machine-code program: name, size, load and start address
        const std::string name = "READER\r";
        std::copy(name.begin(), name.end(), mzf.begin() + 1);
        mzf[0x12] = uint8_t(READER.size()), mzf[0x15] = mzf[0x17] = 0x12;
        std::copy(READER.begin(), READER.end(), mzf.begin() + 128);
        write_file(dir / "reader.mzf", mzf);
        // An Extended DSK image: the disk header, one Track-Info block listing the sector, its data.
        image.assign(0x400, 0);
        const std::string signature = "EXTENDED CPC DSK File\r\nDisk-Info\r\n", info = "Track-Info\r\n";
        std::copy(signature.begin(), signature.end(), image.begin());
        std::copy(info.begin(), info.end(), image.begin() + 0x100);
        image[0x30] = 1, image[0x31] = 2, image[0x34] = 3;
        image[0x115] = 1, image[0x11A] = 1, image[0x11B] = 2, image[0x11F] = 2;
        for (uint32_t i = 0; i < 0x200; ++i)
            image[0x200 + i] = uint8_t(i * 37 ^ i >> 3);
        write_file(dir / "sd" / "sidecar" / "disk.dsk", image);
        std::ofstream(dir / "sd" / "sidecar" / "fd1.cfg") << "/sidecar/disk.dsk\n";
    }
    std::vector<uint8_t> image;
};

TEST_F(StateMedia, AFloppyReadGoesOnAfterALoadAndAChangedOrMissingImageIsLeftOut)
{
    // Saved at frame 350 the program has shown about 200 bytes: the second half of the sector
    // comes from the image after the load.
    ASSERT_EQ(run("--frames 800 --screenshot " + path("straight.bmp") + " " + path("reader.mzf")), 0);
    ASSERT_EQ(run("--frames 350 --save-state " + path("saved.state") + " " + path("reader.mzf")), 0);
    const fs::path disk = dir / "sd" / "sidecar" / "disk.dsk";
    const struct {
        const char* what;
        std::function<void()> change;
        const char* message;
    } CASES[] = {
        {"the same image", [] {}, ""},
        {"a changed image", [&] { image[0x22] = 'X'; write_file(disk, image); }, "media missing or changed: /sidecar/disk.dsk\n"},
        {"no image", [&] { fs::remove(disk); }, "media missing or changed: /sidecar/disk.dsk\n"},
    };
    std::vector<std::vector<uint8_t>> pictures;
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_EQ(run("--load-state " + path("saved.state") + " --frames 450 --screenshot " + path("loaded.bmp")), 0);
        const std::vector<uint8_t> err = read_file(dir / "err");
        EXPECT_EQ(std::string(err.begin(), err.end()), c.message);
        pictures.push_back(read_file(dir / "loaded.bmp"));
    }
    EXPECT_EQ(pictures[0], read_file(dir / "straight.bmp"));
    // Left out, the drive is empty: the rest of the sector reads as FFh, whatever the file was.
    EXPECT_NE(pictures[1], pictures[0]);
    EXPECT_EQ(pictures[1], pictures[2]);
}

} // namespace
