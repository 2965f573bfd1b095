// Runs killed at a known command, or on a temporary folder that is full, read-only
// or the script's own folder under another name, then resumed: the resumed run
// goes on with every write kept, or the run ends with an ERROR and no DONE and a
// later resume goes on from the last good state.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "powercut.h"
#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// kestrel started on its own, killed once the log holds a text.
class KilledRun {
public:
    explicit KilledRun(const std::string &arguments) : process_(StartKestrel(arguments)) {}
    ~KilledRun() { Kill(); }
    // Polls until a log line holds the text or the run ends; true when it was seen
    // with the run still going.
    bool KillAt(const std::string &log, const std::string &wanted, unsigned timeoutMs = 60000) {
        for (unsigned waited = 0; process_ && waited < timeoutMs; waited += 10) {
            for (const std::string &line : Lines(log))
                if (line.find(wanted) != std::string::npos) return Kill();
            if (WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) break;
        }
        Kill();
        return false;
    }
    // Waits, without killing, until a log line holds the text.
    bool WaitFor(const std::string &log, const std::string &wanted, unsigned timeoutMs = 60000) {
        for (unsigned waited = 0; process_ && waited < timeoutMs; waited += 10) {
            for (const std::string &line : Lines(log))
                if (line.find(wanted) != std::string::npos) return true;
            if (WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) return false;
        }
        return false;
    }
    bool Finished(unsigned timeoutMs) { return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0; }
    // Kills it once the file exists.
    bool KillWhenExists(const std::string &path, unsigned timeoutMs = 60000) {
        for (unsigned waited = 0; process_ && waited < timeoutMs; ++waited) {
            if (Exists(path)) return Kill();
            if (WaitForSingleObject(process_, 1) == WAIT_OBJECT_0) break;
        }
        Kill();
        return false;
    }

private:
    bool Kill() {
        if (!process_) return false;
        bool running = WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
        TerminateProcess(process_, 77);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        process_ = nullptr;
        return running;
    }
    HANDLE process_ = nullptr;
};

// The temporary folder of the programs this test starts.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string &folder) {
        for (const char *name : {"TMP", "TEMP"}) {
            char value[MAX_PATH] = "";
            DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
            saved_.push_back(length > 0 && length < sizeof value ? value : "");
            SetEnvironmentVariableA(name, folder.c_str());
        }
    }
    ~TemporaryFolder() {
        int i = 0;
        for (const char *name : {"TMP", "TEMP"}) {
            const std::string &value = saved_[i++];
            SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
        }
    }

private:
    std::vector<std::string> saved_;
};

unsigned long long TotalBytes(const std::string &folder) {
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, &free)) return 0;
    return total.QuadPart;
}

bool Writable(const std::string &folder) {
    std::string probe = folder + "\\probe.tmp";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return true;
}

// A small volume of its own (a tmpfs of the host) mounted on an empty folder
// under C:\, for as long as the object lives.
class SmallVolume {
public:
    SmallVolume(const std::string &folder, unsigned kilobytes) : folder_(folder) {
        DeleteTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        host_ = HostPath(folder);
        mounted_ = !host_.empty() &&
                   RunHostCommand("mount", "-t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs " + host_,
                                  [&] { return TotalBytes(folder) > 0 && TotalBytes(folder) < (16u << 20); });
    }
    ~SmallVolume() {
        if (!mounted_) return;
        ReadOnly(false);
        RunHostCommand("umount", "-l " + host_, [&] { return TotalBytes(folder_) >= (16u << 20); });
        DeleteTree(folder_);
    }
    bool Mounted() const { return mounted_; }
    // A killed run's files may stay open in the Wine server for a moment, and a
    // volume with files open for writing cannot become read-only: tried again.
    bool ReadOnly(bool readOnly) {
        for (int attempt = 0; attempt < 5; ++attempt, Sleep(500))
            if (RunHostCommand("mount", std::string("-o remount,") + (readOnly ? "ro " : "rw ") + host_,
                               [&] { return Writable(folder_) != readOnly; }))
                return true;
        return false;
    }
    bool Grow(unsigned kilobytes) {
        return RunHostCommand("mount", "-o remount,size=" + std::to_string(kilobytes) + "k " + host_,
                              [&] { return TotalBytes(folder_) >= kilobytes * 1024ull; });
    }

private:
    std::string folder_, host_;
    bool mounted_ = false;
};

bool HasErrorLine(const std::vector<std::string> &texts) {
    for (const std::string &t : texts)
        if (t.rfind("ERROR-=-", 0) == 0) return true;
    return false;
}

using ResumeFault = ScriptRun;

TEST_F(ResumeFault, AnExpansionsWriteIsKeptAcrossAKill) {
    // ~%C000 saves the temporary name in V000; a run killed in the pause must
    // resume with it, or ~%V000\work is \work: a folder of the drive's root.
    const std::string victim = "C:\\" + name_;
    DeleteTree(victim);
    CreateDirectoryA(victim.c_str(), nullptr);
    WriteFile(victim + "\\keep.txt", "kept");
    const std::string tail = name_;
    WriteScript(Ini({"[CommandsList]", "21,,~%C000", "21,,~%V000\\" + tail, "13,4000", "16,,~%V000\\" + tail}));
    {
        KilledRun run(script_ + " -silent");
        ASSERT_TRUE(run.KillAt(log_, "CMD2> CMD13_Sleep")) << "the run was not killed in the pause";
    }
    ASSERT_EQ(0, Run("-silent -resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_TRUE(Exists(victim + "\\keep.txt")) << "the resumed run deleted " << victim;
    const std::string made = Copy("Variables", "V000");
    EXPECT_NE("<absent>", made);
    EXPECT_FALSE(Exists(made + "\\" + tail)) << "the resumed run did not delete what the run made";
    DeleteTree(made);
    DeleteTree(victim);
}

TEST_F(ResumeFault, AFullVolumeEndsWithoutDoneAndAResumeGoesOnFromTheLastGoodState) {
    SmallVolume volume("C:\\" + name_ + "_vol", 1024);
    ASSERT_TRUE(volume.Mounted()) << "cannot mount a small volume here";
    TemporaryFolder temporary("C:\\" + name_ + "_vol\\");
    const std::string copy = "C:\\" + name_ + "_vol\\" + name_ + ".ini", filler = "C:\\" + name_ + "_vol\\filler";
    // Each 27 adds 400 bytes to the working copy: the space left runs out part way.
    const int count = 40;
    auto value = [](int i) { return std::string(400, static_cast<char>('a' + i % 26)); };
    std::string body = "[CommandsList]\r\n13,3000\r\n";
    for (int i = 0; i < count; ++i) body += "27,,V" + std::to_string(200 + i) + "," + value(i) + "\r\n";
    WriteScript(body);
    {
        KilledRun run(script_ + " -silent");
        ASSERT_TRUE(run.WaitFor(log_, "CMD0> CMD13_Sleep")) << "the run never reached its pause";
        // Another program fills the volume to within 8 KB while the run pauses.
        HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        std::string block(4096, 'f');
        DWORD written = 0;
        while (WriteFile(file, block.data(), 4096, &written, nullptr) && written == 4096) {
        }
        LARGE_INTEGER size;
        GetFileSizeEx(file, &size);
        size.QuadPart -= 8192;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(run.Finished(60000));
    }
    std::vector<std::string> texts = Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(HasErrorLine(texts)) << "a failed write must say so";
    EXPECT_FALSE(ContainsText(texts, "DONE !"));

    // The cause removed, the run goes on from the last good state to the end with
    // every value written.
    DeleteFileA(filler.c_str());
    ASSERT_TRUE(volume.Grow(4096));
    ASSERT_EQ(0, Run("-silent -resume"));
    texts = Texts();
    EXPECT_EQ("DONE !", texts.back());
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(value(i) == ProfileString(copy, "Variables", "V" + std::to_string(200 + i))) << "V" << 200 + i;
    std::vector<std::vector<int>> runs = CommandsPerRun(LogTexts(log_));
    ASSERT_EQ(2u, runs.size());
    ASSERT_FALSE(runs[0].empty());
    ASSERT_FALSE(runs[1].empty());
    // The resumed run starts with the command the failed save followed, or the one before it.
    EXPECT_LE(runs[1].front(), runs[0].back());
    EXPECT_GE(runs[1].front(), runs[0].back() - 1);
    EXPECT_EQ(count, runs[1].back());
}

TEST_F(ResumeFault, TheSourceScriptIsNeverWrittenWhateverTheTemporaryFolderIsCalled) {
    WriteScript(Ini({"[CommandsList]", "26,,Results,k,v", "32,done"}));
    const std::string source = ReadFile(script_);
    // A folder link, the folder's "\\?\" name, and the folder through another
    // drive letter (Z: stands for the host's root).
    const std::string link = "C:\\" + name_ + "_link";
    ASSERT_TRUE(MakeFolderLink(link, folder_));
    std::string throughZ = "Z:" + HostPath(folder_);
    for (char &c : throughZ)
        if (c == '/') c = '\\';
    if (throughZ.back() != '\\') throughZ += '\\';
    for (const std::string &alias : {"\\\\?\\" + folder_ + "\\", link + "\\", throughZ}) {
        SCOPED_TRACE(alias);
        DeleteTree("c:\\temp\\" + name_ + ".ini");
        DeleteTree(log_);
        {
            TemporaryFolder temporary(alias);
            ASSERT_EQ(0, Run());
        }
        std::vector<std::string> texts = Texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ("DONE !", texts.back());
        EXPECT_EQ(source, ReadFile(script_)) << "the source script was written";
        EXPECT_EQ("v", ProfileString("c:\\temp\\" + name_ + ".ini", "Results", "k"));
    }
    RemoveFolderLink(link);
    DeleteTree("c:\\temp\\" + name_ + ".ini");
}

TEST_F(ResumeFault, RecordsLieInTwoSectorsAndNameAWholeCopy) {
    WriteScript(Ini({"[CommandsList]", "32,one", "27,,V300,three", "32,two", "13,4000", "32,after"}));
    {
        KilledRun run(script_ + " -silent");
        ASSERT_TRUE(run.KillAt(log_, "CMD3> CMD13_Sleep"));
    }
    const std::string journal = ReadFile(copy_ + ".kjournal");
    ASSERT_GE(journal.size(), 4096u + 96u);
    // Both places hold a whole record (the cursor records went in turn), 4 KiB apart.
    for (size_t place : {size_t{0}, size_t{4096}})
        EXPECT_EQ("seq=", journal.substr(place, 4)) << "no record at " << place;
    const size_t slotAt = journal.find("slot=", journal.compare(0, 12, journal, 4096, 12) > 0 ? 0 : 4096);
    ASSERT_NE(std::string::npos, slotAt);
    const std::string slot = copy_ + ".ksave" + journal.substr(slotAt + 5, 1);
    const std::string saved = ReadFile(slot);
    EXPECT_EQ(std::to_string(saved.size()), std::to_string(std::stoul(journal.substr(journal.find("size=", slotAt) + 5, 8), nullptr, 16)));
    EXPECT_EQ("three", ProfileString(slot, "Variables", "V300"));
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-silent -resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_FALSE(ContainsText(texts, " two")) << "a finished command ran again";
    EXPECT_TRUE(ContainsText(texts, " after"));
    EXPECT_EQ("DONE !", texts.back());
    for (const char *suffix : {".kjournal", ".ksave0", ".ksave1"}) EXPECT_FALSE(Exists(copy_ + suffix)) << suffix;
}

TEST_F(ResumeFault, APowerCutLosesNoFinishedCommandInAnyMode) {
    for (const char *mode : {"drop", "zeros", "torn"}) {
        SCOPED_TRACE(mode);
        PowerCutMount disk(name_.substr(0, 20) + mode, mode);
        if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
        printf("power cut seed (%s): %u\n", mode, disk.Seed());
        const std::string temp = disk.Folder() + "\\temp";
        CreateDirectoryA(temp.c_str(), nullptr);
        TemporaryFolder temporary(temp + "\\");
        const std::string copy = temp + "\\" + name_ + ".ini";
        WriteScript(Ini({"[CommandsList]", "32,one", "27,,V300,three", "21,,~%C000", "32,two", "13,3000",
                         "32,after", "16,,~%V000"}));
        DeleteTree(log_);
        {
            KilledRun run(script_ + " -silent");
            ASSERT_TRUE(run.KillAt(log_, "CMD4> CMD13_Sleep"));
        }
        ASSERT_TRUE(disk.Cut());
        ASSERT_EQ(0, Run("-silent -resume"));
        std::vector<std::vector<int>> runs = CommandsPerRun(LogTexts(log_));
        ASSERT_EQ(2u, runs.size());
        EXPECT_EQ((std::vector<int>{4, 5, 6}), runs[1]) << "the resumed run must go on at the command cut off";
        EXPECT_EQ("DONE !", Texts().back());
        EXPECT_EQ("three", ProfileString(copy, "Variables", "V300"));
        const std::string made = ProfileString(copy, "Variables", "V000");
        EXPECT_FALSE(made.empty());
        EXPECT_FALSE(Exists(made)) << "the folder ~%C000 made was not the one deleted";
        // At the end the working copy was flushed before its saved state went.
        ASSERT_TRUE(disk.Cut());
        EXPECT_EQ("7", ProfileString(copy, "Commands", "CurrentCmd"));
        EXPECT_EQ("three", ProfileString(copy, "Variables", "V300"));

        // One flush per ordinary command: the journal's record.
        DeleteTree(log_);
        const PowerCutMount::Counts before = disk.CountsFor("temp\\" + name_ + ".ini.kjournal");
        ASSERT_EQ(0, Run("-silent"));
        const PowerCutMount::Counts after = disk.CountsFor("temp\\" + name_ + ".ini.kjournal");
        const int flushes = after.flushes >= before.flushes ? after.flushes - before.flushes : after.flushes;
        printf("journal flushes for a run of 7 commands (2 whole copies at start-up, 2 after commands): %d\n",
               flushes);
        EXPECT_LE(flushes, 7 + 2 + 2 * 2);
    }
}

TEST_F(ResumeFault, SwitchesOfAFirstStartCutOffInItsStartUpAreKept) {
    WriteScript(Ini({"[CommandsList]", "20", "32,never"}));
    {
        KilledRun run(script_ + " -silent -noreboot");
        ASSERT_TRUE(run.KillWhenExists(copy_ + ".kjournal")) << "the start-up was not cut off";
    }
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-silent -resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "Not setting to reboot system since SuppressReboot is set "));
    EXPECT_FALSE(ContainsText(texts, "Setting to reboot system... "));
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(ResumeFault, RedirectionSwitchedOffStaysOffAfterAResume) {
    // The copy meant for the 64-bit system folder: with redirection left on, a
    // 32-bit run's copy would land in SysWOW64.
    const std::string fileName = name_ + ".txt";
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string system32 = std::string(windows) + "\\system32\\" + fileName;
    const std::string native = std::string(windows) + (kWow64Build ? "\\sysnative\\" : "\\system32\\") + fileName;
    const std::string redirected = std::string(windows) + "\\syswow64\\" + fileName;
    DeleteFileA(native.c_str());
    DeleteFileA(redirected.c_str());
    WriteFile(folder_ + "\\payload.txt", "payload");
    WriteScript(Ini({"[CommandsList]", "37", "13,4000", "15,," + folder_ + "\\payload.txt," + system32}));
    {
        KilledRun run(script_ + " -silent");
        ASSERT_TRUE(run.KillAt(log_, "CMD1> CMD13_Sleep"));
    }
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-silent -resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_TRUE(Exists(native)) << "the copy did not reach the 64-bit system folder";
    if (kWow64Build) EXPECT_FALSE(Exists(redirected)) << "the copy was redirected";
    DeleteFileA(native.c_str());
    DeleteFileA(redirected.c_str());
}

TEST_F(ResumeFault, AReadOnlyTemporaryFolderStopsTheRunBeforeItsFirstCommand) {
    SmallVolume volume("C:\\" + name_ + "_vol", 1024);
    ASSERT_TRUE(volume.Mounted()) << "cannot mount a small volume here";
    TemporaryFolder temporary("C:\\" + name_ + "_vol\\");
    WriteScript(Ini({"[CommandsList]", "32,one", "13,4000", "32,two"}));
    {
        KilledRun run(script_ + " -silent");
        ASSERT_TRUE(run.KillAt(log_, "CMD1> CMD13_Sleep"));
    }
    ASSERT_TRUE(volume.ReadOnly(true));
    DeleteTree(log_);
    Run("-silent -resume");
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(HasErrorLine(texts));
    EXPECT_FALSE(ContainsText(texts, " two"));
    EXPECT_FALSE(ContainsText(texts, "DONE !"));

    ASSERT_TRUE(volume.ReadOnly(false));
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-silent -resume"));
    texts = Texts();
    EXPECT_FALSE(ContainsText(texts, " one")) << "a finished command ran again";
    EXPECT_TRUE(ContainsText(texts, " two"));
    EXPECT_EQ("DONE !", texts.back());
}

}  // namespace
