// The agent folder on the power-cut layer: an update on either path is cut at a random
// point (every process of the update ended, every unflushed write forgotten), then the
// host starts. The listed files are all old or all new, nothing else of the folder has
// changed, and the agent service runs.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "UpdateIntent.h"
#include "powercut.h"
#include "refresher_support.h"
#include "test_support.h"

using namespace refresher_testing;
using testing_support::Exists;
using testing_support::ReadFile;

namespace {

const char kServiceName[] = "Tessaro Deployment Agent";
const unsigned kServiceWaitMs = 60000;
const int kCutsPerPath = 4;

// Files the agent and its updates write as they go (status, logs, the script and its list,
// the outcome waiting for the plug-in): a cut may leave them any way.
bool OwnedByTheUpdate(const std::string &name) {
    for (const char *owned : {"warden.status", "refresher.log", "refresher.result", "external-update.vbs",
                              "updatelist.txt"}) {
        if (_stricmp(name.c_str(), owned) == 0) return true;
    }
    return false;
}

// Every process of this prefix that runs one of the programs: the update script and the
// command processor it renames with. A power cut ends them all at once.
void EndAll(std::initializer_list<const char *> programs) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) continue;
        for (const char *program : programs) {
            if (_stricmp(entry.szExeFile, program) != 0) continue;
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (process == nullptr) continue;
            TerminateProcess(process, 9);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

bool ControlAgent(bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_START | SERVICE_STOP);
    SERVICE_STATUS status{};
    bool done = service != nullptr &&
                (start ? StartServiceA(service, 0, nullptr) : ControlService(service, SERVICE_CONTROL_STOP, &status));
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return done;
}

// A file written whole and flushed, as an installed file is.
void Install(const std::string &path, const std::string &content) {
    testing_support::WriteFile(path + ".tmp", content);
    ASSERT_EQ(intent::CopyFlushed(path + ".tmp", path), 0ul) << path;
    DeleteFileA((path + ".tmp").c_str());
}

// A random point in the cut-th of kCutsPerPath equal parts of span: the cuts spread over a
// whole update (the external one stages, stops the agent, swaps, starts it and watches it).
unsigned Stratum(std::mt19937 &random, int cut, unsigned span) {
    const unsigned part = span / kCutsPerPath;
    return part * cut + std::uniform_int_distribution<unsigned>(0, part)(random);
}

class PowerCutUpdateTest : public ::testing::Test {
protected:
    PowerCutUpdateTest() : disk("refresher_update", "torn") {}

    void SetUp() override {
        if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
        ASSERT_EQ(AgentServiceState(), 0u) << "an agent service is installed in the prefix";
        folder = disk.Folder() + "\\agent\\";
        ASSERT_TRUE(CreateDirectoryA(folder.substr(0, folder.size() - 1).c_str(), nullptr));
        for (const char *file : {"warden.exe", "refresher.dll"})
            Install(folder + file, ReadFile(testing_support::ProgramFolder() + "\\" + file));
        Install(folder + "agent.ini", "[agent]\r\nkeep=me\r\n");
        Captured install = RunCaptured(folder + "warden.exe", "install");
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
        installed = true;
        ASSERT_TRUE(ControlAgent(true)) << GetLastError();
        ASSERT_TRUE(WaitFor([] { return AgentServiceState() == SERVICE_RUNNING; }, kServiceWaitMs));
    }

    void TearDown() override {
        if (installed) RunCaptured(folder + "warden.exe", "uninstall");
        WaitFor([] { return AgentServiceState() == 0; }, kServiceWaitMs);
        for (const std::string &path : placed) DeleteFileA(path.c_str());
    }

    std::map<std::string, std::string> Snapshot() {
        std::map<std::string, std::string> files;
        for (const std::string &name : FolderFiles(folder))
            if (!OwnedByTheUpdate(name)) files[name] = ReadFile(folder + name);
        return files;
    }

    // Sends the update from a host process of its own, cuts the power delayMs later, starts
    // the host, and checks what it finds.
    void CutAndStart(const std::map<std::string, std::string> &newFiles, const std::string &extra, unsigned delayMs,
                     const std::string &trace) {
        SCOPED_TRACE(trace);
        const auto before = Snapshot();
        std::string command = "\"" + folder + "warden.exe\" send --type Request --name UpdateAgent --int FileCount=" +
                              std::to_string(newFiles.size()) + " " + extra;
        int n = 0;
        for (const auto &file : newFiles) {
            const std::string name = "tessaro-" + file.first.substr(0, file.first.find('.')) + "-9" +
                                     file.first.substr(file.first.find('.'));
            const std::string source = testing_support::TempFolder() + name;
            testing_support::WriteFile(source, file.second);
            placed.push_back(source);
            command += " --str File" + std::to_string(n++) + "=temp:" + name;
        }
        // Its event lines go nowhere: only the files count here.
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
        PROCESS_INFORMATION process{};
        const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                            nullptr, &startup, &process);
        CloseHandle(nowhere);
        ASSERT_TRUE(started);
        Sleep(delayMs);
        const bool requestEnded = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
        // The power goes: every process of the update ends at once, every unflushed write
        // is forgotten.
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EndAll({"cscript.exe", "cmd.exe"});
        // Wine's service manager never learns that a service process was killed, so the
        // agent (which writes nothing of an update) is stopped the ordinary way instead.
        ASSERT_TRUE(WaitFor(
            [] {
                DWORD state = AgentServiceState();
                if (state == SERVICE_RUNNING) ControlAgent(false);
                return state == SERVICE_STOPPED;
            },
            kServiceWaitMs));
        ASSERT_TRUE(disk.Cut());

        // The host starts.
        ASSERT_TRUE(ControlAgent(true)) << GetLastError();
        EXPECT_TRUE(WaitFor([] { return AgentServiceState() == SERVICE_RUNNING; }, kServiceWaitMs));
        const auto after = Snapshot();
        int old = 0, updated = 0;
        for (const auto &file : newFiles) {
            auto found = after.find(file.first);
            ASSERT_NE(found, after.end()) << file.first << " is gone";
            if (found->second == before.at(file.first))
                ++old;
            else if (found->second == file.second)
                ++updated;
            else
                ADD_FAILURE() << file.first << " is neither old nor new (" << found->second.size() << " bytes)";
        }
        EXPECT_TRUE(old == static_cast<int>(newFiles.size()) || updated == static_cast<int>(newFiles.size()))
            << old << " old, " << updated << " new";
        printf("%s: cut after %u ms (%s), files %s\n", trace.c_str(), delayMs,
               requestEnded ? "the request had ended" : "during the request", updated ? "new" : "old");
        // Nothing else of the folder changed, nothing was left beside it.
        for (const auto &file : before) {
            if (newFiles.count(file.first)) continue;
            auto found = after.find(file.first);
            EXPECT_TRUE(found != after.end() && found->second == file.second) << file.first << " changed";
        }
        for (const auto &file : after)
            EXPECT_TRUE(before.count(file.first)) << file.first << " is new in the agent folder";
        EXPECT_FALSE(HasFailure()) << "the layer's seed: " << disk.Seed() << ", log: " << disk.LogPath();
    }

    testing_support::PowerCutMount disk;
    std::string folder;
    bool installed = false;
    std::vector<std::string> placed;
};

}  // namespace

TEST_F(PowerCutUpdateTest, CutAtRandomPointsOfBothPathsThenAHostStart) {
    std::mt19937 random(disk.Seed());
    for (int cut = 0; cut < kCutsPerPath && !HasFatalFailure(); ++cut) {
        // Copy in place of three files of a megabyte: staged, flushed and swapped one after
        // the other.
        std::map<std::string, std::string> files;
        for (const char *name : {"alpha.dll", "beta.dll", "gamma.dll"}) {
            if (!Exists(folder + name)) Install(folder + name, std::string(1 << 20, name[0]));
            files[name] = std::string((1 << 20) + cut, static_cast<char>('0' + cut));
        }
        CutAndStart(files, "--str Schedule-ID=cut-" + std::to_string(cut),
                    Stratum(random, cut, 800), "copy in place " + std::to_string(cut));
    }
    for (int cut = 0; cut < kCutsPerPath && !HasFatalFailure(); ++cut) {
        // The agent and the plug-in through the script: staged by the plug-in, swapped by
        // the script, proven over a health window of 2 s.
        std::map<std::string, std::string> files;
        for (const char *name : {"warden.exe", "refresher.dll"})
            files[name] = ReadFile(folder + name) + "\nbuild " + std::to_string(cut) + "\n";
        CutAndStart(files, "--int Health-Window=2", Stratum(random, cut, 12000),
                    "external " + std::to_string(cut));
    }
}
