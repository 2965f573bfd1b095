// The registry commands: one value or key described by named keys (3 set a value,
// 4 delete a value, 12 delete a key) and a list of registry actions (14). Under
// WOW64 every key is reached in the 64-bit view.
#pragma once
#include <windows.h>

#include <vector>

// Commands 3, 4 and 12: the running command's number selects the operation.
int CmdSingleRegistryEdit();
// Command 14: the lines of the section named by argument 0, one action each.
int CmdMultiRegEdit();

// A key's access list (its security descriptor with the DACL) as it was before
// OpenKeyAccess opened the key to everyone. Empty when nothing was saved.
struct SavedAccessList {
    std::vector<BYTE> descriptor;
    bool Saved() const { return !descriptor.empty(); }
};

// Saves the key's access list and replaces it with one that grants everyone full
// access. Returns 1 when both succeeded. The list counts as saved once it was read,
// whatever the replacement did, so the caller restores it.
int OpenKeyAccess(HKEY root, const char *keyPath, SavedAccessList &saved);
// Writes the saved list back. Returns 1 on success.
int RestoreKeyAccess(HKEY root, const char *keyPath, const SavedAccessList &saved);
// Removes the key with everything below it, deepest first. A subkey that cannot be
// removed is passed over; the key's own removal then fails and is logged.
void DeleteRegistryTree(HKEY root, const char *keyPath);

// KEY_WOW64_64KEY when kestrel runs as a 32-bit process on 64-bit Windows, else 0.
REGSAM RegistryViewFlag();
