#include "powercut.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "test_support.h"

namespace testing_support {

namespace {

// Starts a program of the host (Wine runs it outside Windows: no handle to wait
// on); false when it could not be started.
bool StartHostProgram(const std::string &program, const std::string &commandLine) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    return true;
}

template <typename Done> bool WaitFor(unsigned milliseconds, Done done) {
    for (unsigned waited = 0; !done() && waited < milliseconds; waited += 50) Sleep(50);
    return done();
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

// The last line of the layer's log that says why it did not mount.
std::string MountFailure(const std::string &log) {
    std::string why;
    for (const std::string &line : Lines(log)) {
        if (line.find("cannot mount") != std::string::npos || line.find("fuse:") != std::string::npos ||
            line.find("Error") != std::string::npos)
            why = line;
    }
    return why;
}

}  // namespace

PowerCutMount::PowerCutMount(const std::string &name, const std::string &mode, unsigned seed) {
    const std::string root = "C:\\powercut\\" + name;
    folder_ = root + "\\mnt";
    backing_ = root + "\\backing";
    log_ = root + "\\powercut.log";
    control_ = folder_ + "\\.powercut";
    // A mount an earlier run left behind is ended first.
    if (Exists(control_)) {
        Command("stop");
        WaitFor(5000, [&] { return !Exists(control_); });
    }
    CreateDirectoryA("C:\\powercut", nullptr);
    CreateDirectoryA(root.c_str(), nullptr);
    DeleteTree(backing_);
    DeleteFileA(log_.c_str());
    CreateDirectoryA(backing_.c_str(), nullptr);
    CreateDirectoryA(folder_.c_str(), nullptr);
    hostMount_ = HostPath(folder_);
    const std::string hostBacking = HostPath(backing_), hostLog = HostPath(log_);
    if (hostMount_.empty() || hostBacking.empty()) {
        reason_ = "power-cut layer unavailable: Wine does not show the host's path of " + root;
        return;
    }
    // Wine shows no device files: the layer itself says when /dev/fuse is missing.
    const std::string python = "Z:\\usr\\bin\\python3";
    if (!Exists(python)) {
        reason_ = "power-cut layer unavailable: no /usr/bin/python3 (scripts/install-deps installs it)";
        return;
    }
    if (const char *fixed = getenv("KESTREL_POWERCUT_SEED")) seed = static_cast<unsigned>(strtoul(fixed, nullptr, 10));
    std::string commandLine = "python3 " + Quoted(KESTREL_POWERCUT_SCRIPT) + " " + Quoted(hostBacking) + " " +
                              Quoted(hostMount_) + " --mode " + mode + " --log " + Quoted(hostLog);
    if (seed != 0) commandLine += " --seed " + std::to_string(seed);
    if (!StartHostProgram(python, commandLine)) {
        reason_ = "power-cut layer unavailable: Wine could not start " + python;
        return;
    }
    // Python and libfuse start in well under a second; a loaded machine gets more.
    mounted_ = WaitFor(30000, [&] { return Exists(control_) || !MountFailure(log_).empty(); }) && Exists(control_);
    if (!mounted_) {
        const std::string why = MountFailure(log_);
        reason_ = "power-cut layer unavailable: it did not mount at " + hostMount_ + ": " +
                  (why.empty() ? "no word from it within 30 s (log " + log_ + ")" : why);
    }
}

PowerCutMount::~PowerCutMount() {
    if (!mounted_) return;
    Command("stop");
    if (WaitFor(10000, [&] { return !Exists(control_); })) return;
    // The layer did not answer: the mount is taken away from under it.
    StartHostProgram("Z:\\bin\\umount", "umount -l " + Quoted(hostMount_));
    WaitFor(5000, [&] { return !Exists(control_); });
}

bool PowerCutMount::Command(const std::string &text) const {
    HANDLE control = CreateFileA(control_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) return false;
    const std::string line = text + "\n";
    DWORD written = 0;
    const bool done = ::WriteFile(control, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                      written == line.size();
    CloseHandle(control);
    return done;
}

bool PowerCutMount::Cut(const std::string &mode) { return mounted_ && Command(mode.empty() ? "cut" : "cut " + mode); }

std::string PowerCutMount::Status() const { return mounted_ ? ReadFile(control_) : ""; }

PowerCutMount::Counts PowerCutMount::CountsFor(const std::string &relativeName) const {
    std::string wanted = "/" + relativeName;
    for (char &c : wanted)
        if (c == '\\') c = '/';
    std::istringstream lines(Status());
    std::string word, name;
    Counts counts;
    while (lines >> word) {
        if (word != "file") {
            std::getline(lines, name);
            continue;
        }
        Counts found;
        lines >> found.writes >> found.flushes;
        std::getline(lines, name);
        if (name.size() > 1 && name.substr(1) == wanted) counts = found;
    }
    return counts;
}

unsigned PowerCutMount::Seed() const {
    std::istringstream lines(Status());
    std::string word;
    unsigned seed = 0;
    while (lines >> word)
        if (word == "seed") lines >> seed;
    return seed;
}

namespace {
// A link into a mount that has already gone reads as no folder at all on this side,
// so RemoveFolderLink leaves it; the host removes it by name (rm without -r never
// takes a real folder).
void RemoveLinkEvenIfDangling(const std::string &link) {
    RemoveFolderLink(link);
    const std::string hostLink = HostPath(link);
    if (!hostLink.empty()) RunHostCommand("rm", "-f \"" + hostLink + "\"", [] { return true; });
}
}  // namespace

FolderInMount::FolderInMount(const std::string &folder, const std::string &target)
    : folder_(folder), saved_(folder + ".saved_by_powercut") {
    if (Exists(saved_)) {  // left by a run that ended before putting it back
        RemoveLinkEvenIfDangling(folder_);
        MoveFileA(saved_.c_str(), folder_.c_str());
    }
    CreateDirectoryA(target.c_str(), nullptr);
    if (Exists(folder_) && !MoveFileA(folder_.c_str(), saved_.c_str())) return;
    linked_ = MakeFolderLink(folder_, target);
    if (!linked_ && Exists(saved_)) MoveFileA(saved_.c_str(), folder_.c_str());
}

FolderInMount::~FolderInMount() {
    if (!linked_) return;
    RemoveLinkEvenIfDangling(folder_);
    if (Exists(saved_)) MoveFileA(saved_.c_str(), folder_.c_str());
}

}  // namespace testing_support
