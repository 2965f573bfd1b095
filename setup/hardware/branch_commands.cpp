#include "branch_commands.h"

#include <windows.h>

#include <new>

#include "engine/bounded_text.h"
#include "engine/command_args.h"
#include "engine/command_sections.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/variables.h"
#include "engine/win_owners.h"
#include "id_list_rules.h"
#include "os_tests.h"

namespace {

const char kAbortedText[] =
    "An internal error has occured and progress has been aborted.\n\nPlease reinstall installation.";

unsigned ReadDataNumber(const char *key) { return GetPrivateProfileIntA("DATA", key, 0, g_run.scriptFile); }

// [DATA] IsNorvik and Debug both set: the maker's outcome whatever the hardware
// says, for trying a script on another machine.
bool DebugOverride() { return ReadDataNumber("IsNorvik") != 0 && ReadDataNumber("Debug") != 0; }

void LogDebugOverride() { LogLine("**** DEBUG OVERRIDE *****", ""); }

// Argument k of the running command becomes the current argument section.
void ReadChosenArgument(int k) { ReadCommandArgument(k, g_run.argumentSection, sizeof g_run.argumentSection); }

void BranchTo(int k) {
    ReadChosenArgument(k);
    SetNextSection(g_run.argumentSection);
}

// Tested in this order; the first that holds gives its outcome (1 to 6).
bool (*const kOsTests[])() = {IsWindows95, IsWindows98, IsWindowsNT4, IsWindows2000, IsWindowsXP, IsWindowsVista};

bool IdInList(unsigned id) {
    SectionText list = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!list) {
        LogLine("ERROR-=-", "Missing the Data section");
        return false;
    }
    return FindIdInList(list.get(), id) >= 0;
}

}  // namespace

int CmdBranchOnIsNorvik() {
    int k = 0;
    if (!g_run.isNorvik) {
        if (DebugOverride()) {
            LogDebugOverride();
        } else {
            LogLine("", " This is not a Norvik.");
            k = 1;
        }
    }
    BranchTo(k);
    return 0;
}

int CmdBranchOnOS() {
    int k = 0;
    for (int i = 0; i < static_cast<int>(sizeof kOsTests / sizeof kOsTests[0]); ++i) {
        if (kOsTests[i]()) {
            k = i + 1;
            break;
        }
    }
    ReadChosenArgument(k);
    if (SectionHasLines(g_run.argumentSection, g_run.scriptFile)) {
        LogLine("  Setting next section to: ", g_run.argumentSection);
        WriteScriptString("State", "NextSection", g_run.argumentSection);
    } else {
        LogLineFormat("ERROR-=-", "Section number %d [%s] is not found!", k, g_run.argumentSection);
        if (!g_run.silentMode) MessageBoxA(nullptr, kAbortedText, "Norvik SW Installer", MB_SYSTEMMODAL | MB_ICONERROR);
    }
    return 0;
}

int CmdBranchOnSystemID() {
    const unsigned id = ReadDataNumber("SYSID") & 0xFFFFu;
    int k;
    if (id != 0 && IdInList(id)) {
        LogLineFormat("", " This is a Norvik with ID  0X%.4X", id);
        k = 1;
    } else {
        if (id != 0)
            LogLineFormat("This is not a supported Norvik", " The ID 0X%.4X was not found in list.", id);
        else
            LogLineFormat("This is not a supported Norvik", " The ID read is 0X%.4X.", 0u);
        k = 2;
    }
    if (DebugOverride()) {
        LogDebugOverride();
        k = 1;
    }
    ReadChosenArgument(k);
    GetVariable(g_run.argumentSection, sizeof g_run.argumentSection);
    SetNextSection(g_run.argumentSection);
    return 0;
}

int CmdBranchOnPowerManagement() {
    char *keyName = new (std::nothrow) char[256];
    if (!keyName) {
        LogLine("ERROR-=-", "malloc returned NULL");
        return 3;
    }
    int k = 0;
    if (IsWindows98()) {
        // A 32-bit kestrel on 64-bit Windows reads the 64-bit view, as the
        // registry commands do.
        text::CopyBounded(keyName, 256, "ENUM\\ACPI");
        REGSAM access = KEY_READ | (RunningUnderWow64() ? KEY_WOW64_64KEY : 0);
        ScopedKey acpi;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, access, acpi.Receive()) == ERROR_SUCCESS) {
            LogLine("", " This OS is ACPI");
            k = 2;
        } else {
            LogLine("", " This OS is APM");
            k = 1;
        }
    } else {
        LogLine("", "...not running Win98");
    }
    BranchTo(k);
    delete[] keyName;
    return 0;
}

int CmdBranchOnWow64() {
    const bool wow64 = RunningUnderWow64();
    LogLine("", wow64 ? " KESTREL running as WOW64 process." : " KESTREL running as x86 process.");
    BranchTo(wow64 ? 1 : 0);
    return 0;
}

namespace {
const char kRunStateSection[] = "State";
const char kRedirectionKey[] = "Wow64FsRedirection";
}  // namespace

void ReapplyWow64Redirection() {
    if (GetPrivateProfileIntA(kRunStateSection, kRedirectionKey, 1, g_run.scriptFile) != 0) return;
    LogLine("InitINIFile()", "file-system redirection was switched off by an earlier command; it stays off");
    CmdEnableWow64FSRedirection(0);
}

int CmdEnableWow64FSRedirection(int enable) {
    static const char kWho[] = "CmdEnableWow64FSRedirection() ->";
    LogLine(kWho, "Entering");
    int result = 0;
    if (!RunningUnderWow64()) {
        LogLine(kWho, "KESTREL is not running as a Wow64 Process");
    } else {
        using EnableFn = BOOLEAN(WINAPI *)(BOOLEAN);
        HMODULE kernel = GetModuleHandleA("kernel32");
        auto enableRedirection = kernel ? reinterpret_cast<EnableFn>(reinterpret_cast<void (*)()>(
                                              GetProcAddress(kernel, "Wow64EnableWow64FsRedirection")))
                                        : nullptr;
        if (!enableRedirection) {
            LogLine(kWho, "Couldn't load Wow64EnableWow64FsRedirection from Kernel32.dll");
        } else if (enableRedirection(enable ? TRUE : FALSE)) {
            LogLine(kWho, "Success");
            result = 1;
            // The setting holds for the rest of the run: a resumed run puts it back.
            WriteScriptString(kRunStateSection, kRedirectionKey, enable ? nullptr : "0");
        } else {
            LogLine(kWho, "Failed disabling FS Redirection");
            result = -1;
        }
    }
    LogLine(kWho, "Exiting");
    return result;
}

int CmdWow64FsRedirectionOn() { return CmdEnableWow64FSRedirection(1); }
int CmdWow64FsRedirectionOff() { return CmdEnableWow64FSRedirection(0); }
