#include "FolderSecurity.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "WinOwners.h"

namespace util {

FolderSecured SecureFolder(const std::string &path, const char *sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return {FolderSecured::kFailed, GetLastError()};
    ScopedLocal descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (!CreateDirectoryA(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS)
        return {FolderSecured::kFailed, GetLastError()};

    ScopedHandle folder(CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.Valid()) return {FolderSecured::kFailed, GetLastError()};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.Get(), &info)) return {FolderSecured::kFailed, GetLastError()};
    // The handle's attributes are what counts; the path's are asked as well, since some
    // file systems mark a link only there.
    const DWORD pathAttributes = GetFileAttributesA(path.c_str());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (pathAttributes != INVALID_FILE_ATTRIBUTES && (pathAttributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return {FolderSecured::kReparsePoint, 0};
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return {FolderSecured::kNotAFolder, ERROR_DIRECTORY};

    PSID owner = nullptr;
    PACL accessList = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &accessList, &defaulted))
        return {FolderSecured::kFailed, GetLastError()};
    // Setting the access list through the system's own call also passes its inheritable
    // entries on to what the folder already holds.
    DWORD error = SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION,
                                  owner, nullptr, accessList, nullptr);
    if (error != ERROR_SUCCESS) return {FolderSecured::kFailed, error};
    // Once more by path, while the handle keeps the folder from being renamed or
    // replaced: systems that map an access list onto the folder's mode bits (Wine) take
    // it only this way.
    if (!SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor))
        return {FolderSecured::kFailed, GetLastError()};
    return {FolderSecured::kSecured, 0};
}

}  // namespace util
