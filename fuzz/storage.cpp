// Fuzz target: every storage operation with names of arbitrary bytes (dot-dot, absolute paths,
// over-long names, the links planted in the card); nothing outside the card may change.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "host/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::reset_card();
    const size_t handles = fuzz::open_handles();
    fuzz::Input in{data, size};
    FsFile file{};
    FsDir dir{};
    FsEntry entry{};
    char buffer[1024];
    while (in.more()) {
        const uint8_t op = in.byte();
        const std::string a = in.name(700);
        uint32_t done = 0;
        switch (op % 12) {
        case 0: fs_open(&file, a.c_str(), in.byte()); break;
        case 1: fs_read(&file, buffer, in.word() % sizeof buffer, &done); break;
        case 2: fs_write(&file, buffer, in.word() % sizeof buffer, &done); break;
        case 3: fs_close(&file); break;
        case 4: fs_stat(a.c_str(), &entry); break;
        case 5: fs_unlink(a.c_str()); break;
        case 6: fs_rename(a.c_str(), in.name(700).c_str()); break;
        case 7: fs_mkdir(a.c_str()); break;
        case 8: fs_chdir(a.c_str()); break;
        case 9:
            if (fs_opendir(&dir, a.c_str()) == FS_OK)
                for (int n = 0; n < 8 && fs_readdir(&dir, &entry) == FS_OK && entry.short_name[0]; ++n) {
                }
            break;
        case 10: fs_chmod(a.c_str(), in.byte(), in.byte()); break;
        default: fs_getcwd(buffer, in.byte()); break;
        }
    }
    fs_close(&file);
    fs_closedir(&dir);
    if (fuzz::open_handles() != handles)
        std::abort(); // a record let go of a host file without closing it
    fuzz::check_canary();
    return 0;
}
