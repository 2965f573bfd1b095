// The power-cut layer seen from a Windows program: what is flushed survives a cut,
// what is not is lost as the mount's mode says, metadata reaches the disk at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "powercut.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// Appends data to a file (made when absent), flushed to the disk when asked.
bool Append(const std::string &path, const std::string &data, bool flush = false, DWORD flags = 0) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    bool ok = ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
              written == data.size();
    if (flush) ok = FlushFileBuffers(file) && ok;
    CloseHandle(file);
    return ok;
}

TEST(PowerCutLayer, ACutForgetsWhatWasNotFlushed) {
    PowerCutMount disk("layer_drop", "drop");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    const std::string f = disk.Folder() + "\\", b = disk.Backing() + "\\";
    ASSERT_TRUE(Append(f + "new.txt", "never flushed"));
    ASSERT_TRUE(Append(f + "kept.txt", "flushed", true));
    ASSERT_TRUE(Append(f + "kept.txt", " and more"));
    ASSERT_TRUE(Append(f + "old.txt", "renamed", true));
    ASSERT_TRUE(MoveFileExA((f + "old.txt").c_str(), (f + "renamed.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    // Held writes belong to the file, not its name: flushed under the new name they reach the disk.
    ASSERT_TRUE(Append(f + "moving.txt", "held across a rename"));
    ASSERT_TRUE(MoveFileExA((f + "moving.txt").c_str(), (f + "moved.txt").c_str(), 0));
    ASSERT_TRUE(Append(f + "moved.txt", "", true));
    ASSERT_TRUE(CreateDirectoryA((f + "folder").c_str(), nullptr));
    // A folder of the prefix linked into the mount is the mount's.
    const std::string link = FreshFolder("powercut_link") + "\\linked";
    FolderInMount linked(link, f + "folder");
    ASSERT_TRUE(linked.Linked());
    ASSERT_TRUE(Append(link + "\\via.txt", "through the link"));
    EXPECT_EQ(1, disk.CountsFor("folder\\via.txt").writes);
    // Wine 8 turns neither a write-through handle nor a write-through move into a flush.
    ASSERT_TRUE(Append(f + "through.txt", "write-through", false, FILE_FLAG_WRITE_THROUGH));
    printf("write-through handle: %d flushes\n", disk.CountsFor("through.txt").flushes);

    // Before the cut, readers see the held writes; the disk does not have them yet.
    EXPECT_EQ("never flushed", ReadFile(f + "new.txt"));
    EXPECT_EQ("flushed and more", ReadFile(f + "kept.txt"));
    EXPECT_EQ("", ReadFile(b + "new.txt"));
    EXPECT_EQ("flushed", ReadFile(b + "kept.txt"));
    EXPECT_EQ(2, disk.CountsFor("kept.txt").writes);
    EXPECT_EQ(1, disk.CountsFor("kept.txt").flushes);

    ASSERT_TRUE(disk.Cut());
    EXPECT_TRUE(Exists(f + "new.txt"));
    EXPECT_EQ("", ReadFile(f + "new.txt"));
    EXPECT_EQ("flushed", ReadFile(f + "kept.txt"));
    EXPECT_FALSE(Exists(f + "old.txt"));
    EXPECT_EQ("renamed", ReadFile(f + "renamed.txt"));
    EXPECT_EQ("held across a rename", ReadFile(f + "moved.txt"));
    EXPECT_EQ("", ReadFile(f + "folder\\via.txt"));
    EXPECT_NE(std::string::npos, ReadFile(disk.LogPath()).find("cut 1 mode=drop seed=" + std::to_string(disk.Seed())));
    EXPECT_FALSE(disk.Cut("sideways")) << "an unknown mode is refused";
}

// What a file that held "ab" flushed and then "CDEFGHIJ" appended looks like after a cut.
std::string AfterCut(const std::string &name, const std::string &mode, unsigned seed) {
    PowerCutMount disk(name, mode, seed);
    if (!disk.Mounted()) return "skipped: " + disk.Reason();
    const std::string path = disk.Folder() + "\\f.bin";
    Append(path, "ab", true);
    for (const char *part : {"CD", "EF", "GH", "IJ"}) Append(path, part);
    disk.Cut();
    return ReadFile(path);
}

TEST(PowerCutLayer, ZerosKeepTheSizeATornCutKeepsAPrefixThatASeedRepeats) {
    std::string zeros = AfterCut("layer_zeros", "zeros", 0);
    if (zeros.rfind("skipped: ", 0) == 0) GTEST_SKIP() << zeros;
    EXPECT_EQ(std::string("ab") + std::string(8, '\0'), zeros);

    std::string torn = AfterCut("layer_torn", "torn", 4242);
    ASSERT_GE(torn.size(), 2u);
    EXPECT_EQ(torn, std::string("abCDEFGHIJ").substr(0, torn.size())) << "not a prefix";
    EXPECT_EQ(torn, AfterCut("layer_torn", "torn", 4242)) << "the same seed cuts the same way";
}

}  // namespace
