// The card's file calls over host files: open modes, reading and writing, card paths and the
// current directory, listings, removal and the entry operations, all inside a scratch card root
// that nothing may leave.

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "host/storage.h"

namespace {

namespace fs = std::filesystem;

// Calls into the layer, each with the result it must give.
void expect_calls(const std::vector<std::pair<std::function<int()>, int>>& calls)
{
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].first(), calls[i].second) << "call " << i;
}

class Storage : public ::testing::Test {
protected:
    fs::path top, sd; // scratch directory, holding the card root "SD" and a file outside it
    FsVolume volume{};
    FsFile file{};
    FsEntry entry{};

    void SetUp() override
    {
        char name[] = "/tmp/kestrel-storage-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        top = name;
        sd = top / "SD";
        fs::create_directories(sd / "x" / "b");
        fs::create_directories(sd / "sidecar");
        for (const char* f : {"top.txt", "x/in.txt", "x/b/deep.txt", "sidecar/fd0.cfg"}) put(f, f);
        std::ofstream(top / "secret") << "secret";
        ASSERT_EQ(fs_set_host_root(sd.c_str()), FS_OK);
        ASSERT_EQ(fs_mount(0, &volume), FS_OK);
    }
    void TearDown() override
    {
        fs_close(&file);
        fs_mount(0, nullptr); // the volume record goes with this test
        fs_set_host_root("SD");
        fs::remove_all(top);
    }
    void put(const std::string& card, const std::string& text) { std::ofstream(sd / card) << text; }
    static std::string host_text(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
    }
    // The file as a program reads it through the card, or "#" and the open result.
    static std::string card_text(const char* path)
    {
        FsFile f{};
        if (const FsResult r = fs_open(&f, path, FS_READ)) return std::string(1, '#').append(std::to_string(r));
        char buf[64];
        uint32_t done = 0;
        fs_read(&f, buf, sizeof buf, &done);
        fs_close(&f);
        return std::string(buf, done);
    }
    // Opens and closes again: the result of the open.
    static int open_close(const char* path, uint8_t mode)
    {
        FsFile f{};
        const FsResult r = fs_open(&f, path, mode);
        fs_close(&f);
        return r;
    }
    static std::string cwd()
    {
        char buf[FS_PATH_MAX + 8];
        EXPECT_EQ(fs_getcwd(buf, sizeof buf), FS_OK);
        return buf;
    }
    // A listing in name order: directories as "name/", anything else as "name=size".
    static std::string list(const char* path)
    {
        FsDir dir{};
        char long_name[300];
        FsEntry e{};
        e.long_name = long_name;
        e.long_name_size = sizeof long_name;
        std::set<std::string> names;
        EXPECT_EQ(fs_opendir(&dir, path), FS_OK);
        while (fs_readdir(&dir, &e) == FS_OK && long_name[0]) {
            std::string n(long_name);
            names.insert(e.attribute == 0x10 ? n + '/' : n + '=' + std::to_string(e.size));
        }
        fs_opendir(&dir, "/no-such-dir"); // releases the listing
        std::string text;
        for (const auto& n : names) text += n + " ";
        return text;
    }
};

TEST_F(Storage, each_open_mode_creates_truncates_or_refuses_as_its_bits_say)
{
    // exists: "abcdef" before the open; write: of "XY" at offset 0; size: after the write.
    const struct { uint8_t mode; bool exists; FsResult open, write; uint32_t size; const char* after; } cases[] = {
        {0x00, true, FS_OK, FS_IO_ERROR, 6, "abcdef"},
        {FS_READ | 0x20, true, FS_OK, FS_IO_ERROR, 6, "abcdef"}, // other bits are ignored
        {FS_READ, false, FS_NO_FILE, FS_OK, 0, "<missing>"},
        {FS_WRITE, true, FS_OK, FS_OK, 6, "XYcdef"}, // overwrites without shortening
        {FS_WRITE, false, FS_NO_FILE, FS_OK, 0, "<missing>"},
        {FS_READ | FS_WRITE, true, FS_OK, FS_OK, 6, "XYcdef"},
        {FS_WRITE | FS_CREATE_NEW, true, FS_NO_FILE, FS_OK, 0, "abcdef"},
        {FS_WRITE | FS_CREATE_NEW, false, FS_OK, FS_OK, 2, "XY"},
        {FS_WRITE | FS_CREATE_ALWAYS, true, FS_OK, FS_OK, 2, "XY"},
        {FS_WRITE | FS_CREATE_ALWAYS, false, FS_OK, FS_OK, 2, "XY"},
        {FS_WRITE | FS_OPEN_ALWAYS, true, FS_OK, FS_OK, 6, "XYcdef"},
        {FS_WRITE | FS_OPEN_ALWAYS, false, FS_OK, FS_OK, 2, "XY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << (c.exists ? " existing" : " missing"));
        fs::remove(sd / "sidecar/trace.dat");
        if (c.exists) put("sidecar/trace.dat", "abcdef");
        uint32_t done = 99;
        ASSERT_EQ(fs_open(&file, "/sidecar/trace.dat", c.mode), c.open);
        EXPECT_EQ(file.open, c.open == FS_OK);
        EXPECT_EQ(file.handle != 0, c.open == FS_OK);
        if (c.open == FS_OK) {
            EXPECT_EQ(std::string(file.path), sd.string() + "/sidecar/trace.dat");
            EXPECT_EQ(fs_write(&file, "XY", 2, &done), c.write);
            EXPECT_EQ(file.position, c.write == FS_OK ? 2u : 0u);
            EXPECT_EQ(file.size, c.size); // a write past the end grows the file
        }
        EXPECT_EQ(fs_close(&file), FS_OK);
        EXPECT_EQ(host_text(sd / "sidecar/trace.dat"), c.after);
    }
}

TEST_F(Storage, reads_stop_at_the_end_seeks_are_absolute_and_truncation_cuts_at_the_position)
{
    put("digits", "0123456789");
    ASSERT_EQ(fs_open(&file, "digits", FS_READ | FS_WRITE), FS_OK);
    const struct { int64_t seek; uint32_t count, position; const char* got; } steps[] = { // seek -1: none
        {-1, 4, 4, "0123"}, {8, 4, 10, "89"}, {-1, 4, 10, ""}, {2, 3, 5, "234"}};
    char buf[8];
    uint32_t done = 0;
    for (const auto& s : steps) {
        EXPECT_EQ(s.seek < 0 ? FS_OK : fs_seek(&file, uint32_t(s.seek)), FS_OK);
        EXPECT_EQ(fs_read(&file, buf, s.count, &done), FS_OK);
        EXPECT_EQ(std::string(buf, done), s.got);
        EXPECT_EQ(file.position, s.position);
    }
    FsFile reader{};
    ASSERT_EQ(fs_open(&reader, "digits", FS_READ), FS_OK);
    uint32_t wrote = 0;
    expect_calls({{[&] { return fs_seek(&file, 10); }, FS_OK},
                  {[&] { return fs_write(&file, "AB", 2, &wrote); }, FS_OK},
                  {[&] { return fs_sync(&file); }, FS_OK},
                  {[&] { return fs_seek(&file, 4); }, FS_OK},
                  {[&] { return fs_truncate(&file); }, FS_OK},
                  {[&] { return fs_truncate(&reader); }, FS_DENIED}, // opened for reading only
                  {[&] { return fs_close(&reader); }, FS_OK},
                  // A closed record holds no handle: closing again does nothing, the data calls fail.
                  {[&] { return fs_close(&file); }, FS_OK},
                  {[&] { return fs_close(&file); }, FS_OK},
                  {[&] { return fs_read(&file, buf, 4, &done); }, FS_IO_ERROR},
                  {[&] { return fs_write(&file, buf, 4, &done); }, FS_IO_ERROR},
                  {[&] { return fs_seek(&file, 0); }, FS_IO_ERROR},
                  {[&] { return fs_sync(&file); }, FS_IO_ERROR},
                  {[&] { return fs_truncate(&file); }, FS_IO_ERROR}});
    EXPECT_EQ(wrote, 2u);
    EXPECT_EQ(file.size, 4u); // truncation moves the recorded size
    EXPECT_EQ(host_text(sd / "digits"), "0123");
}

// A program that opens file after file through one record (the fuzzer's storage stream did)
// must not run the host out of file handles.
TEST_F(Storage, a_record_opened_again_lets_go_of_the_file_it_held)
{
    const auto handles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto before = handles();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(fs_open(&file, i % 2 ? "top.txt" : "x/in.txt", FS_READ), FS_OK);
    EXPECT_EQ(card_text("top.txt"), "top.txt");
    EXPECT_EQ(handles(), before + 1);
    fs_close(&file);
    EXPECT_EQ(handles(), before);
}

TEST_F(Storage, card_paths_resolve_against_the_current_directory)
{
    put("x/a..b", "dots");
    const struct { const char *cwd, *path, *got; } cases[] = {
        {"/", "/sidecar/fd0.cfg", "sidecar/fd0.cfg"}, {"/x", "in.txt", "x/in.txt"},
        {"/x", "./b/./deep.txt", "x/b/deep.txt"},     {"/x", "b/../in.txt", "x/in.txt"},
        {"/x", "../top.txt", "top.txt"},              {"/x", "///sidecar//fd0.cfg", "sidecar/fd0.cfg"},
        {"/x", "b//deep.txt", "x/b/deep.txt"},        {"/x", "a..b", "dots"}, // dots inside a name stay
        {"/x/b", "../../../../top.txt", "top.txt"},   {"/x", "0:/top.txt", "top.txt"},
        {"/x", "0:in.txt", "x/in.txt"},               {"/x", "top.txt", "#4"},
        {"/", "1:/top.txt", "#11"},                   {"/", "9:top.txt", "#11"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(fs_chdir(c.cwd), FS_OK);
        EXPECT_EQ(card_text(c.path), c.got) << c.cwd << " + " << c.path;
    }
}

TEST_F(Storage, the_current_directory_moves_only_to_directories_that_exist)
{
    const struct { const char* path; FsResult result; const char* cwd; } steps[] = {
        {"sidecar", FS_OK, "0:/sidecar"},   {"..", FS_OK, "0:/"},
        {"..", FS_OK, "0:/"},               {"x", FS_OK, "0:/x"},
        {"a/../b", FS_OK, "0:/x/b"},        {"missing", FS_NO_PATH, "0:/x/b"},
        {"/top.txt", FS_NO_PATH, "0:/x/b"}, {"2:/", FS_INVALID_DRIVE, "0:/x/b"},
        {"", FS_OK, "0:/x/b"},              {"0:/sidecar/", FS_OK, "0:/sidecar"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(fs_chdir(s.path), s.result) << s.path;
        EXPECT_EQ(cwd(), s.cwd) << s.path;
    }
    char small[10] = "unchanged";
    EXPECT_EQ(fs_getcwd(small, 10), FS_NOT_ENOUGH_CORE); // "0:/sidecar" and its NUL need 11
    EXPECT_STREQ(small, "");
    // Mounting drive 0 clears the first byte of the old and the new volume record and returns
    // to the root; there is no other drive.
    FsVolume other{6, 0, 0};
    volume.fs_type = 5;
    EXPECT_EQ(fs_mount(1, &other), FS_INVALID_DRIVE);
    EXPECT_EQ(cwd(), "0:/sidecar");
    EXPECT_EQ(fs_mount(0, &other), FS_OK);
    EXPECT_EQ(cwd(), "0:/");
    EXPECT_EQ(volume.fs_type + other.fs_type, 0);
    EXPECT_EQ(fs_mount(0, &volume), FS_OK);
}

TEST_F(Storage, listings_show_names_kinds_and_sizes_and_the_root_has_no_parent)
{
    EXPECT_EQ(list("/"), "./ sidecar/ top.txt=7 x/ ");
    EXPECT_EQ(list("0:/x/b/.."), "../ ./ b/ in.txt=8 ");

    // A 20-character name: 12 characters in the short name, the long name cut to its buffer.
    fs::remove(sd / "sidecar/fd0.cfg");
    put("sidecar/ABCDEFGHIJKLMNOPQRST", "");
    FsDir dir{};
    char long_name[8];
    entry.long_name = long_name;
    entry.long_name_size = sizeof long_name;
    ASSERT_EQ(fs_opendir(&dir, "/sidecar"), FS_OK);
    EXPECT_EQ(std::string(dir.path), sd.string() + "/sidecar/");
    do {
        ASSERT_EQ(fs_readdir(&dir, &entry), FS_OK);
    } while (entry.short_name[0] == '.');
    EXPECT_STREQ(entry.short_name, "ABCDEFGHIJKL");
    EXPECT_STREQ(long_name, "ABCDEFG");
    EXPECT_EQ(entry.long_name_length, 20);
    EXPECT_EQ(fs_opendir(&dir, "/missing"), FS_NO_PATH); // releases the old listing
    EXPECT_EQ(fs_readdir(&dir, &entry), FS_OK);
    EXPECT_EQ(entry.short_name[0] + long_name[0], 0);
}

TEST_F(Storage, unlink_removes_files_and_empty_directories_only)
{
    fs::create_directories(sd / "empty");
    fs::create_directories(sd / "here");
    ASSERT_EQ(fs_chdir("/here"), FS_OK);
    const struct { const char *path, *host; int result; bool remains; } cases[] = {{"/top.txt", "top.txt", 0, false}, {"../empty", "empty", 0, false}, {"/x", "x", -1, true},
                 {"/nothing", "nothing", -1, false}, {"/", ".", -1, true}, {"/here", "here", -1, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(fs_unlink(c.path), c.result) << c.path;
        EXPECT_EQ(fs::exists(sd / c.host), c.remains) << c.path;
    }
}

TEST_F(Storage, entry_operations_change_the_host_or_say_why_not)
{
    // 2021-06-15 13:45:30 local time, as the card packs it and as the host counts it.
    FsEntry stamp{};
    stamp.date = (2021 - 1980) << 9 | 6 << 5 | 15;
    stamp.time = 13 << 11 | 45 << 5 | 30 / 2;
    struct tm tm = {};
    tm.tm_year = 121, tm.tm_mon = 5, tm.tm_mday = 15, tm.tm_hour = 13, tm.tm_min = 45, tm.tm_sec = 30;
    tm.tm_isdst = -1;
    // Attribute and size as fs_stat reports them (a directory's host size says nothing).
    auto stat_of = [&](const char* path) {
        entry = FsEntry{};
        const FsResult r = fs_stat(path, &entry);
        return r != FS_OK ? -1 : entry.attribute << 16 | (entry.attribute & 0x10 ? 0 : int(entry.size));
    };
    expect_calls({
        {[&] { return stat_of("/top.txt"); }, 7},
        {[&] { return stat_of("x"); }, 0x10 << 16},
        {[&] { return fs_stat("/none/deeper", &entry); }, FS_NO_FILE},
        {[&] { return fs_stat("/top.txt/x", &entry); }, FS_NO_FILE},
        {[&] { return fs_chmod("/top.txt", 0x01, 0x01); }, FS_OK},
        {[&] { return stat_of("/top.txt"); }, 0x01 << 16 | 7},
        {[&] { return fs_chmod("/top.txt", 0x00, 0xFE); }, FS_OK}, // other bits have no host meaning
        {[&] { return stat_of("/top.txt"); }, 0x01 << 16 | 7},
        {[&] { return fs_chmod("/top.txt", 0x00, 0x01); }, FS_OK},
        {[&] { return stat_of("/top.txt"); }, 7},
        {[&] { return fs_chmod("/none", 0x01, 0x01); }, FS_NO_FILE},
        {[&] { return fs_utime("/x/in.txt", &stamp); }, FS_OK},
        {[&] { return fs_utime("/x/none.txt", &stamp); }, FS_NO_FILE},
        {[&] { return fs_mkdir("/new"); }, FS_OK},
        {[&] { return fs_mkdir("new"); }, FS_EXIST},
        {[&] { return fs_mkdir("/top.txt"); }, FS_EXIST},
        {[&] { return fs_mkdir("/"); }, FS_EXIST},
        {[&] { return fs_mkdir("/no/such"); }, FS_NO_PATH},
        {[&] { return fs_rename("/top.txt", "/new/moved.txt"); }, FS_OK},
        {[&] { return fs_rename("/sidecar", "card"); }, FS_OK},
        {[&] { return fs_rename("/x/in.txt", "/card/fd0.cfg"); }, FS_EXIST}, // never replaces
        {[&] { return fs_rename("/none", "/y"); }, FS_NO_FILE},
        {[&] { return fs_rename("/x/in.txt", "/no/such/in.txt"); }, FS_NO_PATH},
        {[&] { return fs_rename("/x", "/x/b/x"); }, FS_DENIED},
    });
    struct stat st;
    ASSERT_EQ(stat((sd / "x/in.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, mktime(&tm));
    ASSERT_EQ(fs_stat("/x/in.txt", &entry), FS_OK);
    EXPECT_EQ(entry.date, stamp.date);
    EXPECT_EQ(entry.time, stamp.time);
    EXPECT_STREQ(entry.short_name, "in.txt");
    chmod((sd / "new/moved.txt").c_str(), 0444); // no write permission on the host: read-only
    EXPECT_EQ(stat_of("/new/moved.txt"), 0x01 << 16 | 7);
    EXPECT_EQ(host_text(sd / "new/moved.txt"), "top.txt");
    EXPECT_EQ(host_text(sd / "card/fd0.cfg"), "sidecar/fd0.cfg");
    EXPECT_EQ(host_text(sd / "x/in.txt"), "x/in.txt");
}

TEST_F(Storage, getfree_reports_the_host_file_system_in_sectors_of_one_cluster)
{
    struct statvfs host;
    uint32_t free_clusters = 0;
    FsVolume* v = nullptr;
    ASSERT_EQ(fs_getfree("0:", &free_clusters, &v), FS_OK);
    ASSERT_EQ(statvfs(sd.c_str(), &host), 0);
    const double slack = 1 << 16; // sectors other processes may take or give back meanwhile
    EXPECT_NEAR(free_clusters, double(host.f_bavail * host.f_frsize / 512), slack);
    ASSERT_EQ(v, &volume);
    EXPECT_EQ(volume.sectors_per_cluster, 1);
    EXPECT_EQ(volume.cluster_count, host.f_blocks * host.f_frsize / 512);
    EXPECT_EQ(fs_getfree("", &free_clusters, &v), FS_OK);
    EXPECT_EQ(fs_getfree("1:", &free_clusters, &v), FS_INVALID_DRIVE);
}

TEST_F(Storage, no_card_path_reaches_a_host_file_outside_the_root)
{
    fs::create_directory_symlink(top, sd / "out");
    fs::create_symlink(top / "secret", sd / "leak");
    fs::create_symlink(top / "created", sd / "dangle");
    fs::create_directory_symlink("x", sd / "alias"); // stays inside: allowed
    const std::string outside = (top / "secret").string();
    FsDir dir{};
    expect_calls({
        {[&] { return open_close("/out/secret", FS_READ); }, FS_NO_FILE},
        {[&] { return open_close("/leak", FS_READ | FS_WRITE); }, FS_NO_FILE},
        {[&] { return open_close("/dangle", FS_WRITE | FS_CREATE_ALWAYS); }, FS_NO_FILE},
        {[&] { return open_close("/out/new", FS_WRITE | FS_CREATE_ALWAYS); }, FS_NO_FILE},
        {[&] { return open_close(outside.c_str(), FS_READ); }, FS_NO_FILE},
        {[&] { return open_close("../secret", FS_WRITE | FS_OPEN_ALWAYS); }, FS_OK}, // card's "/secret"
        {[&] { return fs_chdir("/out"); }, FS_NO_PATH},
        {[&] { return fs_opendir(&dir, "/alias/../out"); }, FS_NO_PATH},
        {[&] { return fs_stat("/leak", &entry); }, FS_NO_FILE},
        {[&] { return fs_chmod("/leak", 0x01, 0x01); }, FS_NO_FILE},
        {[&] { return fs_utime("/leak", &entry); }, FS_NO_FILE},
        {[&] { return fs_mkdir("/out/d"); }, FS_NO_PATH},
        {[&] { return fs_rename("/top.txt", "/out/stolen"); }, FS_NO_PATH},
        {[&] { return fs_rename("/out/secret", "/taken"); }, FS_NO_FILE},
        {[&] { return fs_unlink("/out/secret"); }, -1},
        {[&] { return open_close("/alias/in.txt", FS_READ); }, FS_OK},
    });
    // Links out are listed by name with nothing of their targets; unlink removes the link itself.
    EXPECT_EQ(list("/"), "./ alias/ dangle=0 leak=0 out=0 secret=0 sidecar/ top.txt=7 x/ ");
    EXPECT_EQ(fs_unlink("/leak"), 0);
    EXPECT_EQ(host_text(top / "secret"), "secret");
    EXPECT_NE(fs::status(top / "secret").permissions() & fs::perms::owner_write, fs::perms::none);
    std::set<std::string> top_names;
    for (const auto& e : fs::directory_iterator(top)) top_names.insert(e.path().filename());
    EXPECT_EQ(top_names, (std::set<std::string>{"SD", "secret"}));
}

TEST_F(Storage, paths_longer_than_the_limit_fail_instead_of_being_cut)
{
    const std::string a(255, 'a'), b(254, 'b'), f(FS_PATH_MAX - 257, 'f');
    fs::create_directories(sd / a / b);
    const std::string longest = "/" + a + "/" + f;    // exactly FS_PATH_MAX characters
    const std::string over = "/" + a + "/" + b + "/c"; // one more
    ASSERT_EQ(longest.size() + 1, over.size());
    expect_calls({
        {[&] { return open_close(longest.c_str(), FS_WRITE | FS_CREATE_NEW); }, FS_OK},
        {[&] { return open_close(over.c_str(), FS_WRITE | FS_CREATE_ALWAYS); }, FS_NO_FILE},
        {[&] { return fs_mkdir(over.c_str()); }, FS_NO_PATH},
        {[&] { return fs_chdir(("/" + a + "/" + b).c_str()); }, FS_OK},
        {[&] { return open_close("c", FS_WRITE | FS_CREATE_ALWAYS); }, FS_NO_FILE},
        {[&] { return fs_chdir("c"); }, FS_NO_PATH},
    });
    EXPECT_TRUE(fs::exists(sd / a / f));
    EXPECT_EQ(cwd(), "0:/" + a + "/" + b);
    EXPECT_TRUE(fs::is_empty(sd / a / b));
}

} // namespace
