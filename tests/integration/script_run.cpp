#include "script_run.h"

#include <windows.h>

void ScriptRun::EditCopy(const std::string &section, const std::string &key, const std::string &value) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), copy_.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy_.c_str());
}
