#include "script_run.h"

#include <windows.h>

#include <cstdio>

void ScriptRun::EditCopy(const std::string &section, const std::string &key, const std::string &value) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), copy_.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy_.c_str());
}

std::vector<std::string> ScriptRun::TextsFrom(const std::string &prefix) {
    std::vector<std::string> tail;
    for (const std::string &t : Texts()) {
        if (tail.empty() && t.rfind(prefix, 0) != 0) continue;
        tail.push_back(t);
    }
    return tail;
}

long ScriptRun::StampOf(const std::string &textValue) {
    for (const std::string &line : testing_support::Lines(log_)) {
        int h, m, s, ms;
        if (line.find(textValue) != std::string::npos && sscanf(line.c_str(), "[%d:%d:%d.%d]", &h, &m, &s, &ms) == 4)
            return ((h * 60L + m) * 60L + s) * 1000L + ms;
    }
    return -1;
}
