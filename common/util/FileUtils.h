// File helpers of the plug-in side. They raise util::CFileIOError, never return codes.
#pragma once
#include <string>

#include "GeneralError.h"

namespace util {

struct CFileIOError : err::CGeneralError {
    using err::CGeneralError::CGeneralError;
};

// True for an existing file; false for a missing path, a failed query or a folder.
bool FileExists(const std::string &path);

// Deletes an existing file. Raises CFileIOError when the path is missing or a folder
// ("Delete failed - target does not exist") or when the deletion fails ("Delete failed ").
void DeleteExistingFile(const std::string &path);

// Appends "\" unless the text already ends with "\" or "/" (an empty text becomes "\").
void EnsureTrailingSeparator(std::string &path);

}  // namespace util
