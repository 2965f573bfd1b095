#include <windows.h>

#include "engine/command_loop.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return KestrelMain(commandLine); }
