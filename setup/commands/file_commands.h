// Commands that copy, delete, create and rename files and folders, and place or
// remove a shortcut in the common Startup folder.
#pragma once

int CmdAddLinkFile();       // 1
int CmdDeleteLinkFile();    // 2
int CmdCopyFile();          // 15
int CmdDeleteFileOrDir();   // 16 (command 29 runs it too)
int CmdMakeDir();           // 21
int CmdRenameFile();        // 31

// Copies a folder tree into an existing folder.
void SBCopyFile(const char *source, const char *destination);
// Deletes one file, or a folder with all it holds.
void CmdRmdir(const char *path);
// Deletes a folder tree, deepest first, read-only entries included.
void RemoveDir(const char *directory);
// Creates the last level of a path; fails when it exists or its parent does not.
bool MakeDirectory(const char *path);
