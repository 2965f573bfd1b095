// Windows version and WOW64 tests, asked of the system afresh each time.
#pragma once

bool IsWindows95();
bool IsWindows98();
bool IsWindowsNT4();
bool IsWindows2000();
bool IsWindowsXP();
bool IsWindowsVista();
bool RunningUnderWow64();

// The version rows the tests match: platform id, major and minor version.
enum class WindowsRelease { Windows95, Windows98, WindowsNT4, Windows2000, WindowsXP, WindowsVista };
bool MatchesRelease(WindowsRelease release, unsigned long platformId, unsigned long major, unsigned long minor);
