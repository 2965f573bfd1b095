// Helpers the tests share: real files in the Wine prefix, real processes, and the
// install log read back line by line.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Folder of the running test program (the build's bin folder, where kestrel.exe is).
std::string ProgramFolder();
std::string KestrelPath();

// A fresh folder under C:\ for one test (emptied first). Scripts live under C:\,
// never under the repository path, which may hold a '-'.
std::string FreshFolder(const std::string &name);

void WriteFile(const std::string &path, const std::string &content);
std::string ReadFile(const std::string &path);
bool Exists(const std::string &path);
void DeleteTree(const std::string &path);

// A folder link at link (an absent path) that stands for the folder target (a
// full path), made the way Windows stores one: a junction, a reparse point set on
// an empty folder. Where the file system refuses reparse points (Wine), a link of
// the host's file system, which Wine shows as a linked folder. False when neither
// can be made.
bool MakeFolderLink(const std::string &link, const std::string &target);
// The host's path of a file or folder of the prefix; empty when Wine cannot tell.
std::string HostPath(const std::string &path);
// Removes such a link (never what it stands for); waits until it is gone.
void RemoveFolderLink(const std::string &link);

// Starts a program of the host (Z:\bin\<tool>) and waits, bounded, until done()
// holds: mounts and links the tests set up around a run. False when it never does.
bool RunHostCommand(const std::string &tool, const std::string &arguments, const std::function<bool()> &done);

// Runs a program with the given text after its name; returns its exit code, or
// -1 when it could not be started or did not end within the timeout.
int RunProgram(const std::string &program, const std::string &arguments, unsigned timeoutMs = 60000);
int RunKestrel(const std::string &arguments, unsigned timeoutMs = 60000);

// The system's temporary folder with its trailing backslash, and the working copy
// kestrel makes there for a script file name.
std::string TempFolder();
std::string WorkingCopyOf(const std::string &scriptFileName);

// The log's lines without the time stamp and program name: what follows "> ".
std::vector<std::string> LogTexts(const std::string &logPath);
// The command number of each "CMD<n>> " text, per run (a run starts at its banner).
std::vector<std::vector<int>> CommandsPerRun(const std::vector<std::string> &texts);
// kestrel started on its own with these arguments, not waited for: its process HANDLE
// (the caller closes it), or nullptr when it could not start.
void *StartKestrel(const std::string &arguments);
// The raw lines of a text file (line ends removed).
std::vector<std::string> Lines(const std::string &path);

std::string ProfileString(const std::string &file, const std::string &section, const std::string &key,
                          const std::string &fallback = "");
bool ProfileSectionExists(const std::string &file, const std::string &section);

// Joins INI lines with CR LF.
std::string Ini(std::initializer_list<std::string> lines);

// A program's exit status and what it wrote to its standard output and error.
struct Captured {
    int status = -1;  // -1: not started, or killed after the timeout
    std::string out;
    std::string err;
    std::vector<std::string> OutLines() const;
};
Captured RunCaptured(const std::string &program, const std::string &arguments, unsigned timeoutMs = 60000);

// A file shared by tests at a fixed path (the hardware information file): saved
// now, put back as it was (or removed again) when the guard ends.
class SavedFile {
public:
    explicit SavedFile(const std::string &path);
    ~SavedFile();
    SavedFile(const SavedFile &) = delete;
    SavedFile &operator=(const SavedFile &) = delete;

private:
    std::string path_, content_;
    bool existed_;
};
inline constexpr const char kHardwareInfoPath[] = "C:\\system.sav\\util\\mira.ini";

// The tests run in a 64-bit prefix: the i686 build's programs (the shipped ones)
// run there as WOW64 processes, the x86_64 twin's natively.
inline constexpr bool kWow64Build = sizeof(void *) == 4;

// A copy of a program under another name, to which Wine reports the given
// Windows version (win95, win98, nt40, win2k, winxp64, vista, win7...). The
// copy stands alone: no library of the build folder is beside it.
class VersionedCopy {
public:
    VersionedCopy(const std::string &source, const std::string &folder, const std::string &name,
                  const char *version);
    ~VersionedCopy();
    VersionedCopy(const VersionedCopy &) = delete;
    VersionedCopy &operator=(const VersionedCopy &) = delete;
    const std::string &Path() const { return path_; }

private:
    std::string name_, path_;
};

// Index of the first text equal to wanted at or after from; -1 when absent.
int FindText(const std::vector<std::string> &texts, const std::string &wanted, int from = 0);
bool ContainsText(const std::vector<std::string> &texts, const std::string &wanted);

}  // namespace testing_support
