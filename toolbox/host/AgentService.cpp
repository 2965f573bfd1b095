#include "AgentService.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "AgentHost.h"
#include "FolderSecurity.h"
#include "Format.h"
#include "Json.h"
#include "LogSink.h"
#include "UpdateIntent.h"
#include "WinOwners.h"

namespace agent_service {

const char kServiceName[] = "Tessaro Deployment Agent";

namespace {

const char kDropFolderName[] = "requests";
const char kTakenSuffix[] = ".taken";
const char kStopDelayOption[] = "--stop-delay-ms";
const char kStopAfterOption[] = "--stop-after-s";
// Test-only: a build whose file ends with this line and a number stops itself that many
// seconds after it reports Running (a new agent that does not hold up).
const char kStopAfterMark[] = "warden-test-stop-after-s=";
const char kUpdateLogName[] = "refresher.log";
// Requests run with the service's rights: only Administrators and SYSTEM may drop them
// (full control, inherited by what is created inside; nothing inherited from above).
// Owned by Administrators, so that whoever made the folder keeps no right to change that.
const char kDropFolderAccess[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The agent's files run as SYSTEM and replace themselves from what lies beside them:
// only Administrators and SYSTEM may change anything there; users may read and run.
const char kAgentFolderAccess[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char kStatusFileName[] = "warden.status";
const DWORD kPollMs = 250;
const DWORD kStopWaitMs = 20000;

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;
DWORD g_stopDelayMs = 0;
DWORD g_stopAfterS = 0;

int Fail(const std::string &what) {
    std::fprintf(stderr, "warden: %s: %s\n", what.c_str(), SystemErrorText(GetLastError()).c_str());
    return 1;
}

std::string ProgramPath() {
    char path[MAX_PATH + 1] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

// Writes a file whole: readers never see half of it.
bool ReplaceFile(const std::string &path, const std::string &content) {
    std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (out.fail()) return false;
    }
    return MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string FileChecksum(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "unreadable";
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 1099511628211ull;
        }
    }
    return util::Format("%016llx", static_cast<unsigned long long>(hash));
}

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 5000;
    SetServiceStatus(g_statusHandle, &status);
}

void WINAPI Control(DWORD code) {
    if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stopEvent);
    }
}

// Creates the requests folder, or takes an existing one, with the restricted access.
bool RestrictDropFolder(const std::string &dropFolder) {
    return util::SecureFolder(dropFolder, kDropFolderAccess).kind == util::FolderSecured::kSecured;
}

// Gives a folder its owner and protected access list; false, having said why, when it
// cannot (a reparse point is never followed).
bool Secure(const std::string &folder, const char *access, const char *what) {
    const util::FolderSecured secured = util::SecureFolder(folder, access);
    if (secured.kind == util::FolderSecured::kSecured) return true;
    if (secured.kind == util::FolderSecured::kReparsePoint) {
        std::fprintf(stderr, "warden: refusing to install: the %s %s is a reparse point (a junction or link), "
                             "whose access would be that of another folder\n",
                     what, folder.c_str());
        return false;
    }
    std::fprintf(stderr, "warden: cannot restrict the %s %s: %s\n", what, folder.c_str(),
                 SystemErrorText(secured.error).c_str());
    return false;
}

// Appends the recovery's lines to the update log, where the update script writes its own.
class UpdateLogSink : public logging::ILogSink {
public:
    explicit UpdateLogSink(std::string path) : path_(std::move(path)) {}
    void Log(int, const char *format, ...) override __attribute__((format(gnu_printf, 3, 4))) {
        va_list args;
        va_start(args, format);
        std::string text = util::FormatV(format, args);
        va_end(args);
        std::ofstream out(path_, std::ios::app);
        out << text << "\n";
    }

private:
    std::string path_;
};

// The seconds of the test mark at the end of the program's own file; 0 without one.
DWORD StopAfterMark(const std::string &program) {
    std::ifstream in(program, std::ios::binary);
    if (!in.seekg(0, std::ios::end)) return 0;
    std::streamoff size = in.tellg();
    std::streamoff tail = size < 64 ? size : 64;
    in.seekg(size - tail);
    std::string end(static_cast<size_t>(tail), '\0');
    in.read(&end[0], tail);
    size_t at = end.rfind(kStopAfterMark);
    if (at == std::string::npos) return 0;
    unsigned long seconds = std::strtoul(end.c_str() + at + sizeof kStopAfterMark - 1, nullptr, 10);
    return seconds > 3600 ? 3600 : static_cast<DWORD>(seconds);
}

void Serve() {
    std::string folder = ProgramFolder();
    std::string dropFolder = folder + kDropFolderName;
    // An update of the agent's files that did not end (a crash, a power cut) is finished
    // or undone before anything of the agent's folder is used.
    UpdateLogSink updateLog(folder + kUpdateLogName);
    intent::Recover(folder, updateLog, "warden");
    if (GetFileAttributesA(dropFolder.c_str()) == INVALID_FILE_ATTRIBUTES) RestrictDropFolder(dropFolder);
    Plugin plugin;
    std::string error;
    if (!plugin.Load(folder + "refresher.dll", error)) {
        ReplaceFile(folder + kStatusFileName, "error=" + error + "\n");
        Report(SERVICE_STOPPED, ERROR_MOD_NOT_FOUND);
        return;
    }
    ReplaceFile(folder + kStatusFileName, StatusText(plugin.Path()));
    Report(SERVICE_RUNNING);
    DWORD stopAfterS = g_stopAfterS != 0 ? g_stopAfterS : StopAfterMark(ProgramPath());
    ULONGLONG stopAt = stopAfterS != 0 ? GetTickCount64() + stopAfterS * 1000ull : 0;
    do {
        AnswerRequests(plugin.Api(), dropFolder);
        if (stopAt != 0 && GetTickCount64() >= stopAt) break;
    } while (WaitForSingleObject(g_stopEvent, kPollMs) == WAIT_TIMEOUT);
}

void WINAPI ServiceMain(DWORD, LPSTR *) {
    g_statusHandle = RegisterServiceCtrlHandlerA(kServiceName, Control);
    if (g_statusHandle == nullptr) return;
    util::ScopedHandle stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    g_stopEvent = stopEvent.Get();
    Report(SERVICE_START_PENDING);
    Serve();  // unloads the plug-in before the stop is reported
    if (g_stopDelayMs > 0) Sleep(g_stopDelayMs);
    Report(SERVICE_STOPPED);
}

bool ParseRequestFile(const std::string &path, PluginCall &call, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::vector<std::string> arguments;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        line.erase(0, start);
        size_t blank = line.find(' ');
        arguments.push_back(line.substr(0, blank));
        if (blank != std::string::npos) arguments.push_back(line.substr(blank + 1));
    }
    if (!ParseRequestOptions(arguments, call, error)) return false;
    if (call.message.Type().empty() || call.message.Name().empty()) {
        error = "a request needs --type and --name";
        return false;
    }
    return true;
}

}  // namespace

std::string StatusText(const std::string &pluginPath) {
    char temp[MAX_PATH + 1] = "";
    DWORD tempLength = GetTempPathA(sizeof temp, temp);
    std::string program = ProgramPath();
    return util::Format("pid=%lu\nexe=%s\nexe-checksum=%s\nplugin=%s\nplugin-checksum=%s\ntemp=%s\n",
                        static_cast<unsigned long>(GetCurrentProcessId()), program.c_str(),
                        FileChecksum(program).c_str(), pluginPath.c_str(), FileChecksum(pluginPath).c_str(),
                        tempLength < sizeof temp ? temp : "");
}

void AnswerRequest(const ToolboxAPI &api, const std::string &requestPath, const std::string &replyPath) {
    PluginCall call;
    std::string error;
    std::string reply;
    if (ParseRequestFile(requestPath, call, error)) {
        RunRequest(api, call, [&reply](const std::string &line) { reply += line + "\n"; });
    } else {
        reply = "{\"event\":\"error\",\"text\":" + json::Quote(error) + "}\n";
    }
    ReplaceFile(replyPath, reply);
}

int AnswerRequests(const ToolboxAPI &api, const std::string &dropFolder) {
    static const std::string kRequestSuffix = ".req";
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    {
        util::ScopedFind find(FindFirstFileA((dropFolder + "\\*.req").c_str(), &data));
        if (!find.Valid()) return 0;
        do {
            // The pattern also matches longer extensions through short names.
            std::string name = data.cFileName;
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() > kRequestSuffix.size() &&
                _stricmp(name.c_str() + name.size() - kRequestSuffix.size(), kRequestSuffix.c_str()) == 0)
                names.push_back(name);
        } while (FindNextFileA(find.Get(), &data));
    }
    std::sort(names.begin(), names.end());
    int answered = 0;
    for (const std::string &name : names) {
        std::string requestPath = dropFolder + "\\" + name;
        std::string takenPath = requestPath + kTakenSuffix;
        std::string replyPath = dropFolder + "\\" + name.substr(0, name.size() - kRequestSuffix.size()) + ".reply";
        // Taken first, so that a request that cannot be removed afterwards never runs twice.
        if (!MoveFileExA(requestPath.c_str(), takenPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            ReplaceFile(replyPath, "{\"event\":\"error\",\"text\":" +
                                       json::Quote("cannot take " + requestPath + ": " +
                                                   SystemErrorText(GetLastError())) +
                                       "}\n");
            continue;
        }
        AnswerRequest(api, takenPath, replyPath);
        DeleteFileA(takenPath.c_str());
        ++answered;
    }
    return answered;
}

int Install(bool autoStart, unsigned long stopDelayMs, unsigned long stopAfterS) {
    if (ProgramFolder().empty()) return Fail("cannot learn the program's folder");
    // The agent folder first: once it is restricted nobody else can swap the requests
    // folder inside it.
    const std::string agentFolder = ProgramFolder().substr(0, ProgramFolder().size() - 1);
    const std::string dropFolder = ProgramFolder() + kDropFolderName;
    // A drive's root holds everyone's files; it is never made the agent's own.
    if (agentFolder.empty() || agentFolder.back() == ':') {
        std::fprintf(stderr, "warden: refusing to install in the root of a drive (%s\\)\n", agentFolder.c_str());
        return 1;
    }
    if (!Secure(agentFolder, kAgentFolderAccess, "agent folder") ||
        !Secure(dropFolder, kDropFolderAccess, "requests folder"))
        return 1;
    util::ScopedService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager.Valid()) return Fail("cannot open the service control manager");
    std::string commandLine = "\"" + ProgramPath() + "\" service";
    if (stopDelayMs > 0) commandLine += util::Format(" %s %lu", kStopDelayOption, stopDelayMs);
    if (stopAfterS > 0) commandLine += util::Format(" %s %lu", kStopAfterOption, stopAfterS);
    util::ScopedService service(CreateServiceA(manager.Get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS,
                                               autoStart ? SERVICE_AUTO_START : SERVICE_DEMAND_START,
                                               SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr));
    if (!service.Valid()) return Fail(std::string("cannot install the service \"") + kServiceName + "\"");
    std::printf("installed the service \"%s\": %s\n", kServiceName, commandLine.c_str());
    std::printf("the agent folder %s is owned by Administrators; only Administrators and SYSTEM may change it\n",
                agentFolder.c_str());
    std::printf("the requests folder %s is open to Administrators and SYSTEM only\n", dropFolder.c_str());
    return 0;
}

int Uninstall() {
    util::ScopedService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.Valid()) return Fail("cannot open the service control manager");
    util::ScopedService service(
        OpenServiceA(manager.Get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service.Valid()) return Fail(std::string("cannot open the service \"") + kServiceName + "\"");
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
        for (DWORD waited = 0; waited < kStopWaitMs && status.dwCurrentState != SERVICE_STOPPED; waited += 100) {
            Sleep(100);
            if (!QueryServiceStatus(service.Get(), &status)) break;
        }
    }
    if (!DeleteService(service.Get())) return Fail(std::string("cannot remove the service \"") + kServiceName + "\"");
    std::printf("removed the service \"%s\"\n", kServiceName);
    return 0;
}

int Run(unsigned long stopDelayMs, unsigned long stopAfterS) {
    g_stopDelayMs = stopDelayMs;
    g_stopAfterS = stopAfterS;
    char name[sizeof kServiceName];
    std::copy(kServiceName, kServiceName + sizeof kServiceName, name);
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) return Fail("\"warden.exe service\" is for the service control manager");
    return 0;
}

}  // namespace agent_service
