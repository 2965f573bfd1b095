#include "refresher_support.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "UpdateScript.h"
#include "test_support.h"

namespace refresher_testing {

bool Json::Has(const std::string &key) const {
    for (const auto &member : members) {
        if (member.first == key) return true;
    }
    return false;
}

const Json &Json::operator[](const std::string &key) const {
    static const Json kMissing;
    for (const auto &member : members) {
        if (member.first == key) return member.second;
    }
    return kMissing;
}

namespace {

struct Reader {
    const std::string &text;
    size_t at = 0;

    void Blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
    }
    bool Take(char c) {
        Blanks();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool Word(const char *word, Json &value, Json::Kind kind, bool flag) {
        size_t length = strlen(word);
        if (text.compare(at, length, word) != 0) return false;
        at += length;
        value.kind = kind;
        value.flag = flag;
        return true;
    }
    bool String(std::string &out) {
        if (!Take('"')) return false;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size()) return false;
            char escaped = text[at++];
            switch (escaped) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (at + 4 > text.size()) return false;
                unsigned long code = std::strtoul(text.substr(at, 4).c_str(), nullptr, 16);
                at += 4;
                if (code > 0xff) return false;
                out += static_cast<char>(code);
                break;
            }
            default: out += escaped;
            }
        }
        return Take('"');
    }
    bool Value(Json &value) {
        Blanks();
        if (at >= text.size()) return false;
        char c = text[at];
        if (c == '"') {
            value.kind = Json::kString;
            return String(value.text);
        }
        if (c == '{') {
            ++at;
            value.kind = Json::kObject;
            if (Take('}')) return true;
            do {
                std::string key;
                Json member;
                if (!String(key) || !Take(':') || !Value(member)) return false;
                value.members.emplace_back(key, member);
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++at;
            value.kind = Json::kArray;
            if (Take(']')) return true;
            do {
                Json item;
                if (!Value(item)) return false;
                value.items.push_back(item);
            } while (Take(','));
            return Take(']');
        }
        if (Word("null", value, Json::kNull, false) || Word("true", value, Json::kBool, true) ||
            Word("false", value, Json::kBool, false))
            return true;
        char *end = nullptr;
        value.number = std::strtod(text.c_str() + at, &end);
        if (end == text.c_str() + at) return false;
        at = static_cast<size_t>(end - text.c_str());
        value.kind = Json::kNumber;
        return true;
    }
};


}  // namespace

bool ParseJson(const std::string &text, Json &value) {
    Reader reader{text};
    value = Json();
    if (!reader.Value(value)) return false;
    reader.Blanks();
    return reader.at == text.size();
}

Captured RunCaptured(const std::string &program, const std::string &arguments, unsigned timeoutMs) {
    testing_support::Captured run = testing_support::RunCaptured(program, arguments, timeoutMs);
    return Captured{run.status, run.out, run.err};
}

std::string WardenPath() { return testing_support::ProgramFolder() + "\\warden.exe"; }

Captured RunWarden(const std::string &arguments, unsigned timeoutMs) {
    return RunCaptured(WardenPath(), arguments, timeoutMs);
}

std::vector<Json> Events(const std::string &out) {
    std::vector<Json> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        Json event;
        EXPECT_TRUE(ParseJson(line, event)) << "not a JSON line: " << line;
        events.push_back(event);
    }
    return events;
}

std::vector<Json> EventsOf(const std::vector<Json> &events, const std::string &kind) {
    std::vector<Json> chosen;
    for (const Json &event : events) {
        if (event["event"].text == kind) chosen.push_back(event);
    }
    return chosen;
}

std::vector<std::string> LogTexts(const std::vector<Json> &events) {
    std::vector<std::string> texts;
    for (const Json &event : EventsOf(events, "log")) texts.push_back(event["text"].text);
    return texts;
}

bool WaitFor(const std::function<bool()> &condition, unsigned timeoutMs) {
    for (unsigned waited = 0;; waited += 100) {
        if (condition()) return true;
        if (waited >= timeoutMs) return false;
        Sleep(100);
    }
}

AgentCopy::AgentCopy(const std::string &name) : folder(testing_support::FreshFolder(name) + "\\") {
    for (const char *file : {"warden.exe", "refresher.dll"}) {
        std::string from = testing_support::ProgramFolder() + "\\" + file;
        EXPECT_TRUE(CopyFileA(from.c_str(), Path(file).c_str(), FALSE)) << file;
    }
}

AgentCopy::~AgentCopy() { testing_support::DeleteTree(folder.substr(0, folder.size() - 1)); }

Captured AgentCopy::Run(const std::string &arguments, unsigned timeoutMs) const {
    return RunCaptured(Path("warden.exe"), arguments, timeoutMs);
}

unsigned long AgentServiceState() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return 0;
    DWORD state = 0;
    SC_HANDLE service = OpenServiceA(manager, "Tessaro Deployment Agent", SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status)) state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

std::string AccessOf(const std::string &path) {
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> descriptor(size ? size : 1);
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size))
        return "unreadable";
    char *text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return "unconvertible";
    std::string access = text;
    LocalFree(text);
    return access;
}

std::vector<std::string> FolderFiles(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string WithCrLf(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string UpdateScriptOnDisk() { return WithCrLf(std::string(UpdateScriptText()) + "\n"); }

}  // namespace refresher_testing
