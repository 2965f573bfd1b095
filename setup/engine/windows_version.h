// The running Windows release, asked of the system afresh each time.
#pragma once

struct WindowsVersion {
    unsigned long platformId = 0;  // 1 the Windows 9x family, 2 the NT family
    unsigned long major = 0;
    unsigned long minor = 0;
};

// Asks with the basic version structure, the size every system accepts: early NT
// releases refuse the extended one, and a refused query must not make an NT
// machine look like another family. False when the system does not answer.
bool AskWindowsVersion(WindowsVersion &version);

// The version rows the OS tests match: platform id, major and minor version.
enum class WindowsRelease { Windows95, Windows98, WindowsNT4, Windows2000, WindowsXP, WindowsVista };
bool MatchesRelease(WindowsRelease release, unsigned long platformId, unsigned long major, unsigned long minor);

// True when the running system answers with the release's row.
bool RunningRelease(WindowsRelease release);
