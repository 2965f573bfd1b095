// The process-wide run state of kestrel: one instance, fixed-size texts.
#pragma once

struct RunState {
    char programDirectory[260] = "";  // the program's folder, without a trailing backslash
    char programFileName[260] = "";   // shown in every log line and box title
    char scriptFile[260] = "";        // after start-up always the working copy
    char argumentSection[256] = "";   // argument 0 of the running command
    char languageDataSection[260] = "";
    int commandCursor = 0;
    int commandType = 0;
    char scratch[512] = "";
    char boxTitle[512] = "";
    char boxText[512] = "";
    char logPath[128] = "c:\\system.sav\\util\\install.log";
    char currentSection[128] = "CommandsList";
    char nextSection[128] = "";
    bool logging = false;
    bool silentMode = false;
    bool suppressReboot = false;
    bool rebootRequested = false;
    bool isNorvik = false;
};

extern RunState g_run;

// Puts the run state back as it is when the process starts (tests run several
// start-ups in one process).
void ResetRunState();

inline constexpr const char kVersionText[] = "2.00.10";
inline constexpr const char kHardwareInfoFile[] = "C:\\system.sav\\util\\mira.ini";
inline constexpr const char kDefaultLogPath[] = "C:\\system.sav\\util\\install.log";
