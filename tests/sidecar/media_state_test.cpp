// The Sidecar's devices in a saved machine: their registers and media records are copied out as
// a save does, the devices start afresh (or run on), the copies are written back as a load does,
// and the devices take back their media.
#include <string>
#include <vector>

#include "host/headless.h"
#include "sidecar/devices_state.h"
#include "sidecar/fdc.h"
#include "sidecar/sidecar.h"
#include "tests/sidecar/storage_root.h"

namespace {

std::vector<std::string> reported;
void note(const char* name) { reported.emplace_back(name); }

// What a saved state holds of the two devices.
struct Saved {
    SidecarRegisters interface;
    SidecarMedia interface_media;
    FdcRegisters controller;
    DrivesMedia drives;
};

Saved save()
{
    sidecar_state_gather();
    return {sidecar, sidecar_media, fdc, fdc_media};
}

void load(const Saved& s)
{
    sidecar = s.interface;
    sidecar_media = s.interface_media;
    fdc = s.controller;
    fdc_media = s.drives;
    reported.clear();
    file_service_state_rebuild(note);
    fdc_state_rebuild(note);
}

void command(uint8_t code, const std::string& arguments = "")
{
    sidecar_write(0, code);
    for (char c : arguments)
        sidecar_write(1, uint8_t(c));
}

// The controller's registers behind the inverting bus: status, track, sector, data.
void controller_write(uint8_t reg, uint8_t value) { fdc_write(reg, uint8_t(~value)); }
uint8_t controller_read(uint8_t reg) { return uint8_t(~fdc_read(reg)); }

class SavedMedia : public StorageRoot {
protected:
    void SetUp() override
    {
        StorageRoot::SetUp();
        // One track of one 512-byte sector (ID 1) after the disk header: a read takes its second
        // half from the image when the first is done.
        std::vector<uint8_t> image(0x400, 0);
        const std::string info = "Track-Info\r\n";
        std::copy(info.begin(), info.end(), image.begin() + 0x100);
        image[0x34] = 3;
        image[0x115] = 1;
        const uint8_t entry[8] = {0, 0, 1, 2, 0, 0, 0x00, 0x02};
        std::copy(entry, entry + 8, image.begin() + 0x118);
        for (uint32_t i = 0; i < 0x200; ++i)
            image[0x200 + i] = uint8_t(i * 7 + (i >> 8));
        write_file("sidecar/d.dsk", image);
        write_file("sidecar/fd0.cfg", {'/', 's', 'i', 'd', 'e', 'c', 'a', 'r', '/', 'd', '.', 'd', 's', 'k', '\n'});
        headless::power_on(root.c_str()); // every Sidecar device starts over this card
        fdc_write(4, 0x84);               // drive 0, motor on
    }
    // Reads sector 1: the status after the command, and the first `count` bytes.
    static std::vector<uint8_t> start_read(uint8_t& status, uint32_t count)
    {
        controller_write(2, 1);
        controller_write(0, 0x80);
        controller_read(0); // the command's busy status
        status = controller_read(0);
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < count; ++i)
            bytes.push_back(controller_read(3));
        return bytes;
    }
};

TEST_F(SavedMedia, AFileOpenForWritingIsOpenAgainAtItsPlaceWithNothingLost)
{
    command(0x21, "/sidecar\r");
    command(0x50, std::string("\x0A") + "out.txt\r"); // create always, write
    for (char c : std::string("abc"))
        sidecar_write(1, uint8_t(c));
    const Saved saved = save();
    sidecar_reset(); // a fresh start: root directory, nothing open
    load(saved);
    EXPECT_TRUE(reported.empty());
    sidecar_write(1, 'd');
    command(0x22); // the current directory came back too
    std::string cwd;
    for (uint8_t b = sidecar_read(1); b != 0x0D; b = sidecar_read(1))
        cwd += char(b);
    EXPECT_EQ(cwd, "/sidecar");
    command(0x54);
    const std::vector<uint8_t> file = read_file("sidecar/out.txt");
    EXPECT_EQ(std::string(file.begin(), file.end()), "abcd");
}

TEST_F(SavedMedia, AListingGoesOnFromItsPlace)
{
    for (const char* name : {"sidecar/a.txt", "sidecar/b.txt", "sidecar/c.txt"})
        write_file(name, {1});
    command(0x42, "/sidecar\r"); // the text listing: name, CR, size, CR for each entry
    const auto next = [](uint32_t count) {
        std::string text;
        for (uint32_t i = 0; i < count; ++i)
            text += char(sidecar_read(1));
        return text;
    };
    next(9);
    const Saved saved = save();
    const std::string straight = next(12);
    sidecar_reset();
    load(saved);
    EXPECT_EQ(next(12), straight);
}

// The end-to-end state tests cover a read that goes on and an image changed behind the drive;
// here, the drive's own write, which a rewind steps back across.
TEST_F(SavedMedia, AnImageTheDriveWroteToIsStillItsOwnAfterARewind)
{
    uint8_t status = 0;
    start_read(status, 100);
    const Saved saved = save();
    for (uint32_t i = 100; i < 0x200; ++i) // the read runs to its end
        controller_read(3);
    controller_write(2, 1); // a write of the same sector moves the image on
    controller_write(0, 0xA0);
    for (uint32_t i = 0; i < 0x200; ++i)
        controller_write(3, 0x55);
    load(saved);
    EXPECT_TRUE(reported.empty());
    start_read(status, 0);
    EXPECT_EQ(status & 0x80, 0) << "the drive still holds its image";
}

} // namespace
