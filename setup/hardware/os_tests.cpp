#include "os_tests.h"

#include <windows.h>

bool MatchesRelease(WindowsRelease release, unsigned long platformId, unsigned long major, unsigned long minor) {
    switch (release) {
    case WindowsRelease::Windows95: return platformId == 1 && major == 4 && minor == 0;
    case WindowsRelease::Windows98: return platformId == 1 && major == 4 && minor == 10;
    case WindowsRelease::WindowsNT4: return platformId == 2 && major == 4 && minor == 0;
    case WindowsRelease::Windows2000: return platformId == 2 && major == 5 && minor == 0;
    case WindowsRelease::WindowsXP: return platformId == 2 && major == 5 && (minor == 1 || minor == 2);
    case WindowsRelease::WindowsVista: return platformId == 2 && major == 6 && minor == 0;
    }
    return false;
}

// The basic structure: systems that predate the extended one accept only this size.
static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version structure");

static bool RunningRelease(WindowsRelease release) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    return MatchesRelease(release, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

bool IsWindows95() { return RunningRelease(WindowsRelease::Windows95); }
bool IsWindows98() { return RunningRelease(WindowsRelease::Windows98); }
bool IsWindowsNT4() { return RunningRelease(WindowsRelease::WindowsNT4); }
bool IsWindows2000() { return RunningRelease(WindowsRelease::Windows2000); }
bool IsWindowsXP() { return RunningRelease(WindowsRelease::WindowsXP); }
bool IsWindowsVista() { return RunningRelease(WindowsRelease::WindowsVista); }

bool RunningUnderWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI *)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel) return false;
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
    if (!isWow64Process) return false;
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) return false;
    return wow64 != FALSE;
}
