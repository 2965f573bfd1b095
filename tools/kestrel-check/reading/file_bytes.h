// Reads the files the checker is given (scripts, install logs, machine files) whole.
#pragma once
#include <string>

// False with the reason when the file cannot be read or is far larger than any of them.
bool ReadWholeFile(const std::string &path, std::string &bytes, std::string &reason);
