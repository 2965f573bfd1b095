// Folders that only the accounts named in their access list may change.
#pragma once
#include <string>

namespace util {

struct FolderSecured {
    enum Kind {
        kSecured,       // made, or taken, with the owner and the protected access list
        kReparsePoint,  // a junction or link: left alone, its access would go to another folder
        kNotAFolder,
        kFailed,  // error: the system's reason
    } kind;
    unsigned long error;
};

// Creates the folder with the security of the SDDL text (owner and access list), or
// gives an existing folder that owner and access list, marked protected so that
// nothing is inherited from above. What is checked is what is changed: the folder is
// opened once, without following a reparse point and without letting anyone rename or
// delete it, and its security is set through that handle.
FolderSecured SecureFolder(const std::string &path, const char *sddl);

}  // namespace util
