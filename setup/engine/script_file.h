// Finding the script, the install log, the switches and [Data] options, and the
// working copy in the temporary directory.
#pragma once

// Returns 1 when the working copy is the script file and the run flags are set,
// 0 on failure.
int InitINIFile(const char *commandLine);

// True when a file (not a folder) exists at the path.
bool FileExists(const char *path);
