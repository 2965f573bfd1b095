#include "windows_version.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version structure");

bool AskWindowsVersion(WindowsVersion &version) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    return true;
}

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

bool RunningRelease(WindowsRelease release) {
    WindowsVersion version;
    return AskWindowsVersion(version) && MatchesRelease(release, version.platformId, version.major, version.minor);
}
