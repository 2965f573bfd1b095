#include "reboot_commands.h"

#include <windows.h>

#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/win_owners.h"
#include "engine/windows_version.h"

int CmdExitRebootSystem() {
    if (g_run.suppressReboot) {
        LogLine("Not setting to reboot system since SuppressReboot is set", "");
        g_run.rebootRequested = false;
    } else {
        LogLine("Setting to reboot system...", "");
        g_run.rebootRequested = true;
    }
    return 1;
}

namespace {

struct PrivilegeRow {
    const char *privilege;
    const char *loggedName;
};
const PrivilegeRow kStartUpPrivileges[] = {
    {"SeShutdownPrivilege", "SE_SHUTDOWN_NAME"},
    {"SeRestorePrivilege", "SE_RESTORE_NAME"},
    {"SeBackupPrivilege", "SE_BACKUP_NAME"},
};

bool RunningOnNtPlatform() {
    WindowsVersion version;
    return AskWindowsVersion(version) && version.platformId == VER_PLATFORM_WIN32_NT;
}

void LogPrivilegeError() {
    char errorText[260];
    DescribeLastError(errorText, sizeof errorText);
    LogLine("ERROR: adjusting token privilege ->", errorText);
}

void EnableOne(HANDLE token, const PrivilegeRow &row) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool known = LookupPrivilegeValueA(nullptr, row.privilege, &privileges.Privileges[0].Luid) != FALSE;
    LogLine("NOTICE: adjusting token privilege for :", row.loggedName);
    if (!known) {
        LogPrivilegeError();
        return;
    }
    // The call succeeds even when the token does not hold the privilege; only the
    // last error tells, and such a privilege is not enabled.
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) ||
        GetLastError() == ERROR_NOT_ALL_ASSIGNED)
        LogPrivilegeError();
}

}  // namespace

void EnablePrivileges() {
    if (!RunningOnNtPlatform()) return;
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) return;
    // Enabled privileges stay with the process after the token handle is closed.
    ScopedHandle token(rawToken);
    for (const PrivilegeRow &row : kStartUpPrivileges) EnableOne(token.Get(), row);
}
