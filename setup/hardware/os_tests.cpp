#include "os_tests.h"

#include <windows.h>

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
