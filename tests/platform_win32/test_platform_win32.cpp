// The Windows platform layer's own services: the command line as the host passed it, the
// atomic write over the Windows file functions, and the reader that refuses what is not a file.
#include "platform/atomic_write.h"
#include "platform/command_line.h"
#include "platform/read_file.h"
#include "platform/win32/process_command_line.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// A fresh folder of the test's own in the system's temporary folder.
std::string fresh_folder(const char* name) {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    std::string dir =
        std::string(base) + "marrowby_" + name + "_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

bool write(const std::string& path, const std::string& text, std::string& error) {
    return platform_write_file_atomically(
        path.c_str(),
        [&](FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); }, error);
}

std::string read(const std::string& path) {
    std::string bytes, error;
    EXPECT_TRUE(platform_read_regular_file(path.c_str(), bytes, error)) << error;
    return bytes;
}

int entries(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
    int n = 0;
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            n++;
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return n;
}

} // namespace

TEST(Win32CommandLine, TheTextAfterTheProgramReachesTheParserAsTheHostWroteIt) {
    struct Case {
        const char* line;
        const char* after; // what follows the program name
        const char* text;  // what the parser gets
    };
    const Case cases[] = {
        {"marrowby.exe \"m.obj,s.bin,,,-notlive\"", "\"m.obj,s.bin,,,-notlive\"",
         "\"m.obj,s.bin,,,-notlive\""},
        {"\"C:\\Program Files\\marrowby.exe\" \"C:\\my meshes\\m.obj,s.bin,,,\"",
         "\"C:\\my meshes\\m.obj,s.bin,,,\"", "\"C:\\my meshes\\m.obj,s.bin,,,\""},
        {"marrowby.exe m.obj,s.bin,,,-notlive", "m.obj,s.bin,,,-notlive",
         "\"m.obj,s.bin,,,-notlive\""},
        {"  marrowby.exe   \"a,b,,,\"  \r\n", "\"a,b,,,\"", "\"a,b,,,\""},
        {"marrowby.exe", "", ""},
        {"\"marrowby.exe\"   ", "", ""},
        {"\"unclosed program name", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const std::string after = platform_text_after_program(c.line);
        EXPECT_EQ(after, c.after) << c.line;
        const char* argv[] = {"marrowby.exe", after.c_str()};
        EXPECT_EQ(platform_command_line(after.empty() ? 1 : 2, argv), c.text) << c.line;
    }
    EXPECT_EQ(platform_text_after_program(nullptr), "");
}

TEST(Win32AtomicWrite, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    const std::string dir = fresh_folder("write");
    const std::string target = dir + "\\m.obj";
    std::string error;
    ASSERT_TRUE(write(target, "first\n", error)) << error;
    ASSERT_TRUE(write(target, "second, longer\n", error)) << error;
    EXPECT_EQ(read(target), "second, longer\n");
    EXPECT_EQ(entries(dir), 1);
    // A fill that gives up leaves the file as it was, and no temporary file.
    EXPECT_FALSE(platform_write_file_atomically(
        target.c_str(), [](FILE* f) { return std::fputs("partial", f) < 0; }, error));
    EXPECT_NE(error.find(target), std::string::npos) << error;
    EXPECT_EQ(read(target), "second, longer\n");
    EXPECT_EQ(entries(dir), 1);
}

TEST(Win32AtomicWrite, RefusesReadOnlyFilesFoldersAndMissingFolders) {
    const std::string dir = fresh_folder("refuse");
    const std::string locked = dir + "\\locked.obj";
    std::string error;
    ASSERT_TRUE(write(locked, "keep\n", error)) << error;
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(write(locked, "lost\n", error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(read(locked), "keep\n");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string folder = dir + "\\folder.obj";
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_FALSE(write(folder, "x", error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(write(dir + "\\no\\such\\m.obj", "x", error));
    EXPECT_EQ(entries(dir), 2);
}

TEST(Win32ReadFile, RefusesFoldersDevicesAndMissingFiles) {
    const std::string dir = fresh_folder("read");
    std::string bytes = "stale", error;
    EXPECT_FALSE(platform_read_regular_file(dir.c_str(), bytes, error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(platform_read_regular_file("NUL", bytes, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(platform_read_regular_file((dir + "\\missing.obj").c_str(), bytes, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_FALSE(platform_read_regular_file("", bytes, error));
}
