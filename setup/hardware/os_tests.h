// Windows version and WOW64 tests, asked of the system afresh each time.
#pragma once

#include "../engine/windows_version.h"

bool IsWindows95();
bool IsWindows98();
bool IsWindowsNT4();
bool IsWindows2000();
bool IsWindowsXP();
bool IsWindowsVista();
bool RunningUnderWow64();
