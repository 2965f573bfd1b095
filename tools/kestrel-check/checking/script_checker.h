// The checks of a whole script: its command sections as the run would reach
// them, every command's arguments and the sections they name, [Data] and
// [Variables], and what nothing reaches.
#pragma once
#include <string>

#include "findings.h"
#include "script_reader.h"

namespace check {

void CheckScript(const ScriptFile &script, Findings &findings);

// Reads and checks the bytes of a script file. False, with the reason, when the
// bytes are no text script at all.
bool CheckScriptBytes(const std::string &bytes, Findings &findings, std::string &refusal);

}  // namespace check
