// profile_floor <script>: does, on a working copy of the script in the temporary
// folder, only the profile operations a run of it cannot do without, and prints
// how long they took:
//   start-up: copy the script, write [DATA] SilentMode and flush, read [Commands]
//     CMD0 and [State], write [State], read [CommandsList] whole, write every
//     command's keys one by one (Cmd, FullCmdSection, CmdSection) and flush;
//   loop, per command: read Cmd, CmdSection<n>.0 and FullCmdSection, write
//     CurrentCmd, flush the profile and flush the file to the disk
//     (FlushFileBuffers): the cursor durable before the next command runs;
//     at the end marker, read [State].
// Output: "startup_ms=<x> loop_ms=<y> commands=<n>". Exit 1 on a bad argument.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/text_rules.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

void Flush(const char *file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file); }

// The file's data on the disk, as a write a power cut must not lose needs it.
void FlushToDisk(const char *file) {
    HANDLE handle = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    FlushFileBuffers(handle);
    CloseHandle(handle);
}

std::string Key(const char *format, int number, int field = 0) {
    char key[64];
    snprintf(key, sizeof key, format, number, field);
    return key;
}

// The section whole, grown as the engine grows its buffer.
std::string ReadSection(const char *section, const char *file) {
    for (DWORD size = 260;; size *= 2) {
        std::string buffer(size, '\0');
        DWORD length = GetPrivateProfileSectionA(section, &buffer[0], size, file);
        if (length < size - 2 || size > (1u << 26)) return buffer.substr(0, length + 1);
    }
}

void StartUp(const char *source, const char *file) {
    CopyFileA(source, file, FALSE);
    SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
    WritePrivateProfileStringA("DATA", "SilentMode", "1", file);
    Flush(file);

    char value[260];
    GetPrivateProfileStringA("Commands", "CMD0", "XX", value, sizeof value, file);
    GetPrivateProfileStringA("State", "CurrentSection", "~x!x@x", value, 128, file);
    GetPrivateProfileStringA("State", "NextSection", "~x!x@x", value, 128, file);
    WritePrivateProfileStringA("State", "CurrentSection", "CommandsList", file);
    WritePrivateProfileStringA("State", "NextSection", "", file);

    std::string section = ReadSection("CommandsList", file);
    int number = 0;
    for (const char *line = section.c_str(); *line; line += strlen(line) + 1) {
        UnrolledCommand command;
        if (!UnrollCommandLine(line, command)) continue;
        WritePrivateProfileStringA("Commands", Key("Cmd%d", number).c_str(), command.typeText.c_str(), file);
        WritePrivateProfileStringA("Commands", Key("FullCmdSection%d", number).c_str(), command.fullSection.c_str(),
                                   file);
        for (size_t k = 0; k < command.fields.size(); ++k)
            WritePrivateProfileStringA("Commands", Key("CmdSection%d.%d", number, static_cast<int>(k)).c_str(),
                                       command.fields[k].c_str(), file);
        ++number;
    }
    Flush(file);
}

int Loop(const char *file) {
    int number = 0;
    for (;; ++number) {
        char argument[256], fullSection[260], cursor[16];
        int type = static_cast<int>(GetPrivateProfileIntA("Commands", Key("Cmd%d", number).c_str(), 0, file));
        GetPrivateProfileStringA("Commands", Key("CmdSection%d.%d", number).c_str(), "", argument, sizeof argument,
                                 file);
        if (type == 0) break;
        GetPrivateProfileStringA("Commands", Key("FullCmdSection%d", number).c_str(), "", fullSection,
                                 sizeof fullSection, file);
        snprintf(cursor, sizeof cursor, "%d", number + 1);
        WritePrivateProfileStringA("Commands", "CurrentCmd", cursor, file);
        Flush(file);
        FlushToDisk(file);
    }
    char section[128];
    GetPrivateProfileStringA("State", "CurrentSection", "", section, sizeof section, file);
    GetPrivateProfileStringA("State", "NextSection", "", section, sizeof section, file);
    return number;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2 || GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "usage: profile_floor <script>\n");
        return 1;
    }
    char temporary[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temporary, temporary);
    const char *name = strrchr(argv[1], '\\');
    name = name ? name + 1 : argv[1];
    std::string file = std::string(length > 0 && length < sizeof temporary ? temporary : "C:\\") + "floor_" + name;

    double start = Now();
    StartUp(argv[1], file.c_str());
    double unrolled = Now();
    int commands = Loop(file.c_str());
    double done = Now();
    DeleteFileA(file.c_str());
    printf("startup_ms=%.1f loop_ms=%.1f commands=%d\n", unrolled - start, done - unrolled, commands);
    return 0;
}
