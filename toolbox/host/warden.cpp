// warden.exe: the management agent host. It loads refresher.dll from its own folder and
// hands it messages; every host operation the plug-in calls is printed as a JSON line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AgentHost.h"
#include "AgentService.h"

namespace {

const char kUsage[] =
    "usage: warden.exe version\n"
    "       warden.exe send --type T --name N [--int KEY=NUMBER]... [--str KEY=TEXT]...\n"
    "                       [--null-message] [--null-host] [--null-reply]\n"
    "       warden.exe info [--int Auto-Update-Count=N]\n"
    "       warden.exe install [--auto] [--stop-delay-ms N] [--stop-after-s N]\n"
    "                                     register as the service \"Tessaro Deployment Agent\"\n"
    "       warden.exe uninstall          stop and remove that service\n"
    "       warden.exe service [--stop-delay-ms N] [--stop-after-s N]   (the service's own command line)\n"
    "       (--stop-delay-ms and --stop-after-s are for tests: a slow stop, a service that stops itself)\n";

enum ExitCode { kExitCompleted = 0, kExitNoPlugin = 1, kExitUsage = 2 };

void PrintLine(const std::string &line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Usage(const std::string &reason) {
    if (!reason.empty()) std::fprintf(stderr, "warden: %s\n", reason.c_str());
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

bool LoadPlugin(Plugin &plugin) {
    std::string error;
    if (plugin.Load(ProgramFolder() + "refresher.dll", error)) return true;
    std::fprintf(stderr, "warden: %s\n", error.c_str());
    return false;
}

int Version() {
    Plugin plugin;
    if (!LoadPlugin(plugin)) return kExitNoPlugin;
    int32_t major = 0, minor = 0, build = 0;
    plugin.Api().GetToolboxVersion(&major, &minor, &build);
    std::printf("%d.%d.%d\n", major, minor, build);
    return kExitCompleted;
}

int Send(PluginCall &call) {
    Plugin plugin;
    if (!LoadPlugin(plugin)) return kExitNoPlugin;
    RunRequest(plugin.Api(), call, PrintLine);
    return kExitCompleted;
}

// A decimal number up to limit; false for anything else.
bool ParseBounded(const std::string &value, unsigned long limit, unsigned long &number) {
    char *end = nullptr;
    number = std::strtoul(value.c_str(), &end, 10);
    return !value.empty() && value[0] != '-' && *end == '\0' && number <= limit;
}

// Reads [--auto] (when allowed), [--stop-delay-ms N] and [--stop-after-s N]; false on
// anything else.
bool ParseServiceOptions(const std::vector<std::string> &options, bool allowAuto, bool &autoStart,
                         unsigned long &stopDelayMs, unsigned long &stopAfterS) {
    for (size_t i = 0; i < options.size(); ++i) {
        if (allowAuto && options[i] == "--auto") {
            autoStart = true;
        } else if (options[i] == "--stop-delay-ms" && i + 1 < options.size()) {
            if (!ParseBounded(options[++i], 600000, stopDelayMs)) return false;
        } else if (options[i] == "--stop-after-s" && i + 1 < options.size()) {
            if (!ParseBounded(options[++i], 3600, stopAfterS)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    // No library of this process is ever looked for in the current folder.
    SetDllDirectoryA("");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) return Usage("");
    const std::string command = arguments[0];
    std::vector<std::string> options(arguments.begin() + 1, arguments.end());

    if (command == "version") return options.empty() ? Version() : Usage("version takes no options");

    if (command == "send" || command == "info") {
        PluginCall call;
        if (command == "info") call.message.SetTypeAndName("Internal", "UpdateInfo");
        std::string error;
        if (!ParseRequestOptions(options, call, error)) return Usage(error);
        if (command == "info" && (call.message.Type() != "Internal" || call.message.Name() != "UpdateInfo"))
            return Usage("info always sends Internal/UpdateInfo");
        if (command == "send" && !call.nullMessage && (call.message.Type().empty() || call.message.Name().empty()))
            return Usage("send needs --type and --name");
        return Send(call);
    }
    bool autoStart = false;
    unsigned long stopDelayMs = 0, stopAfterS = 0;
    if (command == "install") {
        if (!ParseServiceOptions(options, true, autoStart, stopDelayMs, stopAfterS))
            return Usage("install takes only --auto, --stop-delay-ms N (at most 600000) and --stop-after-s N "
                         "(at most 3600)");
        return agent_service::Install(autoStart, stopDelayMs, stopAfterS);
    }
    if (command == "uninstall")
        return options.empty() ? agent_service::Uninstall() : Usage("uninstall takes no options");
    if (command == "service") {
        if (!ParseServiceOptions(options, false, autoStart, stopDelayMs, stopAfterS))
            return Usage("service takes only --stop-delay-ms N (at most 600000) and --stop-after-s N (at most 3600)");
        return agent_service::Run(stopDelayMs, stopAfterS);
    }
    return Usage("unknown command " + command);
}
