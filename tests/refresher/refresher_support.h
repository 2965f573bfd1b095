// Helpers for the refresher tests: run warden.exe and read its event lines back.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace refresher_testing {

// A parsed JSON value; enough for the host's event lines.
struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kObject, kArray } kind = kNull;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<std::pair<std::string, Json>> members;
    std::vector<Json> items;

    bool Has(const std::string &key) const;
    // The member's value; a null value when absent.
    const Json &operator[](const std::string &key) const;
    int64_t Int() const { return static_cast<int64_t>(number); }
};

// Parses one JSON text; returns false on malformed input.
bool ParseJson(const std::string &text, Json &value);

struct Captured {
    int exitCode = -1;  // -1: not started or timed out
    std::string out;
    std::string err;
};

// Runs a program with its output and error streams captured.
Captured RunCaptured(const std::string &program, const std::string &arguments, unsigned timeoutMs = 60000);

std::string WardenPath();  // warden.exe beside the test program
Captured RunWarden(const std::string &arguments, unsigned timeoutMs = 60000);

// The event lines of a warden.exe run, parsed (a malformed line fails the calling test).
std::vector<Json> Events(const std::string &out);
// The events of one kind ("log", "reply", ...), in order.
std::vector<Json> EventsOf(const std::vector<Json> &events, const std::string &kind);
// The texts of the log events.
std::vector<std::string> LogTexts(const std::vector<Json> &events);

// Polls the condition every 100 ms until it holds or the time is up; returns the last answer.
bool WaitFor(const std::function<bool()> &condition, unsigned timeoutMs);

// A copy of warden.exe and refresher.dll in a fresh folder under C:\ (the agent folder),
// so that updates replace the copies, never the build's own files.
struct AgentCopy {
    std::string folder;  // with its trailing "\"
    explicit AgentCopy(const std::string &name);
    ~AgentCopy();
    std::string Path(const std::string &file) const { return folder + file; }
    Captured Run(const std::string &arguments, unsigned timeoutMs = 60000) const;
};

// The state of the agent service "Tessaro Deployment Agent" in the prefix; 0 when it is
// not installed.
unsigned long AgentServiceState();

// The access list of a file or folder in the system's text form ("unreadable" when it
// cannot be read).
std::string AccessOf(const std::string &path);
// The names of the files in a folder (with its trailing "\"), sorted.
std::vector<std::string> FolderFiles(const std::string &folder);

// The update script's text as the plug-in writes it to disk (CR LF line ends).
std::string UpdateScriptOnDisk();

// Text with "\n" line ends as a Windows text file holds it.
std::string WithCrLf(const std::string &text);

}  // namespace refresher_testing
