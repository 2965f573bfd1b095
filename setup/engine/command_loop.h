// kestrel's start-up and command loop.
#pragma once

// The whole run for one command line (without the program's own name). Always 0.
int KestrelMain(const char *commandLine);

// Runs commands from the cursor on until a command ends the run or no section follows.
void RunCommandLoop();

// A system-modal error box titled "Ardent Setup Utility - <program>", unless silent.
void ShowStartUpBox(const char *message);
