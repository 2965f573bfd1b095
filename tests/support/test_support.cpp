#include "test_support.h"

#include <windows.h>

#include <winioctl.h>

#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>

namespace testing_support {

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

// The running test program's file name without its extension.
static std::string ProgramName() {
    char path[MAX_PATH];
    std::string name(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    name = name.substr(name.find_last_of('\\') + 1);
    return name.substr(0, name.find_last_of('.'));
}

std::string KestrelPath() { return ProgramFolder() + "\\kestrel.exe"; }

static void DeleteTreeInner(const std::string &path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveFolderLink(child);  // never emptied through the link
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTreeInner(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

void DeleteTree(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTreeInner(path);
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

std::string FreshFolder(const std::string &name) {
    std::string folder = "C:\\ktests";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\" + name;
    DeleteTree(folder);
    // A folder just emptied may still be on its way out: try again briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (CreateDirectoryA(folder.c_str(), nullptr)) break;
        DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteTree(folder);  // a leftover that could not be removed the first time
        }
        Sleep(20);
    }
    return folder;
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
    WCHAR paths[1];
};

bool MakeJunction(const std::string &link, const std::string &target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool made = false;
    if (folder != INVALID_HANDLE_VALUE) {
        const std::wstring substitute = L"\\??\\" + std::wstring(target.begin(), target.end());
        const WORD bytes = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
        std::vector<BYTE> buffer(sizeof(MountPointData) + bytes + 2 * sizeof(WCHAR));
        auto *data = reinterpret_cast<MountPointData *>(buffer.data());
        data->tag = IO_REPARSE_TAG_MOUNT_POINT;
        data->substituteLength = bytes;
        data->printOffset = static_cast<WORD>(bytes + sizeof(WCHAR));
        memcpy(data->paths, substitute.data(), bytes);
        data->dataLength = static_cast<WORD>(4 * sizeof(WORD) + bytes + 2 * sizeof(WCHAR));
        DWORD returned = 0;
        made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data, data->dataLength + 8, nullptr, 0, &returned,
                               nullptr) != FALSE;
        CloseHandle(folder);
    }
    if (!made) RemoveDirectoryA(link.c_str());
    return made;
}

bool IsLinkedFolder(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Wine starts a program of the host when given its path; it runs on its own,
// so what it does is waited for, bounded.
template <typename Done> bool RunHostTool(const std::string &tool, const std::string &arguments,
                                          const std::string &folder, Done done) {
    const std::string program = "Z:\\bin\\" + tool;
    if (!Exists(program)) return false;
    std::string commandLine = tool + " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int attempt = 0; attempt < 500 && !done(); ++attempt) Sleep(20);
    return done();
}


}  // namespace

std::string HostPath(const std::string &path) {
    using UnixNameFn = char *(CDECL *)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!unixName) return "";
    char *name = unixName(std::wstring(path.begin(), path.end()).c_str());
    if (!name) return "";
    std::string hostPath = name;
    HeapFree(GetProcessHeap(), 0, name);
    return hostPath;
}

bool RunHostCommand(const std::string &tool, const std::string &arguments, const std::function<bool()> &done) {
    return RunHostTool(tool, arguments, "C:\\", done);
}

bool MakeFolderLink(const std::string &link, const std::string &target) {
    if (MakeJunction(link, target)) return true;
    const std::string folder = link.substr(0, link.find_last_of('\\'));
    const std::string name = link.substr(link.find_last_of('\\') + 1), hostTarget = HostPath(target);
    if (hostTarget.empty()) return false;
    return RunHostTool("ln", "-s \"" + hostTarget + "\" \"" + name + "\"", folder, [&] { return IsLinkedFolder(link); });
}

void RemoveFolderLink(const std::string &link) {
    if (!IsLinkedFolder(link) || RemoveDirectoryA(link.c_str())) return;
    const std::string folder = link.substr(0, link.find_last_of('\\'));
    const std::string name = link.substr(link.find_last_of('\\') + 1);
    RunHostTool("rm", "-f \"" + name + "\"", folder, [&] { return !Exists(link); });
}

int RunProgram(const std::string &program, const std::string &arguments, unsigned timeoutMs) {
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (waited == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? static_cast<int>(exitCode) : -1;
}

int RunKestrel(const std::string &arguments, unsigned timeoutMs) {
    return RunProgram(KestrelPath(), arguments, timeoutMs);
}

std::string TempFolder() {
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    return std::string(path, length);
}

std::string WorkingCopyOf(const std::string &scriptFileName) { return TempFolder() + scriptFileName; }

std::vector<std::string> Lines(const std::string &path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> LogTexts(const std::string &logPath) {
    std::vector<std::string> texts;
    for (const std::string &line : Lines(logPath)) {
        // "[hh:mm:ss.mmm]  program> text" from LogLine, "[hh:mm:ss.mmm]  text" from LogMessage.
        size_t mark = line.find("> ");
        if (mark != std::string::npos)
            texts.push_back(line.substr(mark + 2));
        else if (line.size() >= 16 && line[0] == '[' && line[13] == ']')
            texts.push_back(line.substr(16));
        else
            texts.push_back(line);
    }
    return texts;
}

std::string ProfileString(const std::string &file, const std::string &section, const std::string &key,
                          const std::string &fallback) {
    std::vector<char> value(65536);
    GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value.data(),
                             static_cast<DWORD>(value.size()), file.c_str());
    return value.data();
}

bool ProfileSectionExists(const std::string &file, const std::string &section) {
    std::vector<char> names(65536);
    DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), file.c_str());
    for (const char *name = names.data(); name < names.data() + length && *name; name += strlen(name) + 1) {
        if (lstrcmpiA(name, section.c_str()) == 0) return true;
    }
    return false;
}

std::string Ini(std::initializer_list<std::string> lines) {
    std::string joined;
    for (const std::string &line : lines) joined += line + "\r\n";
    return joined;
}

int FindText(const std::vector<std::string> &texts, const std::string &wanted, int from) {
    for (int i = from < 0 ? 0 : from; i < static_cast<int>(texts.size()); ++i) {
        if (texts[i] == wanted) return i;
    }
    return -1;
}

bool ContainsText(const std::vector<std::string> &texts, const std::string &wanted) {
    return FindText(texts, wanted) >= 0;
}

std::vector<std::string> Captured::OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

Captured RunCaptured(const std::string &program, const std::string &arguments, unsigned timeoutMs) {
    // One folder per test program and fresh names per run: emptying a folder right
    // after the last child let go of it is a race under Wine.
    static const std::string folder = FreshFolder("captured_" + ProgramName());
    static int runs = 0;
    const std::string stem = folder + "\\run" + std::to_string(++runs);
    const std::string outPath = stem + ".out", errPath = stem + ".err";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string commandLine = "\"" + program + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    Captured result;
    if (CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.status = static_cast<int>(code);
        } else {
            TerminateProcess(process.hProcess, 99);
        }
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

SavedFile::SavedFile(const std::string &path) : path_(path), existed_(Exists(path)) {
    if (existed_) content_ = ReadFile(path);
}

SavedFile::~SavedFile() {
    if (existed_)
        WriteFile(path_, content_);
    else
        DeleteTree(path_);
}

VersionedCopy::VersionedCopy(const std::string &source, const std::string &folder, const std::string &name,
                             const char *version)
    : name_(name), path_(folder + "\\" + name) {
    CopyFileA(source.c_str(), path_.c_str(), FALSE);
    const std::string key = "Software\\Wine\\AppDefaults\\" + name_;
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version),
                       static_cast<DWORD>(strlen(version) + 1));
        RegCloseKey(handle);
    }
}

VersionedCopy::~VersionedCopy() {
    RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + name_).c_str());
    DeleteTree(path_);
}

std::vector<std::vector<int>> CommandsPerRun(const std::vector<std::string> &texts) {
    std::vector<std::vector<int>> runs;
    for (const std::string &textValue : texts) {
        if (textValue.rfind("*** Starting ", 0) == 0) runs.emplace_back();
        if (runs.empty() || textValue.rfind("CMD", 0) != 0) continue;
        size_t mark = textValue.find("> ");
        if (mark != std::string::npos) runs.back().push_back(std::stoi(textValue.substr(3, mark - 3)));
    }
    return runs;
}

void *StartKestrel(const std::string &arguments) {
    std::string commandLine = "\"" + KestrelPath() + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(KestrelPath().c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

}  // namespace testing_support
