// Commands through which a script edits itself: values, variables, appended INI
// files, and the exit that deletes the script file.
#pragma once
#include <cstddef>

int CmdSetValue();               // 26
int CmdSetVariable();            // 27
int CmdAppendINIFile();          // 28
int CmdExitAndDeleteINIFile();   // 29

// The temporary file the append goes through: beside the script file, named
// "TMP" and the last five digits of the process id, with ".INI".
bool AppendTemporaryPath(const char *scriptFile, unsigned long processId, char *out, size_t capacity);
