// The script that replaces the agent's files from outside the agent's process.
#pragma once

// The whole script, lines ended by "\n"; written out as text.
const char *UpdateScriptText();
