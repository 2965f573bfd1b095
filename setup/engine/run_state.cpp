#include "run_state.h"

RunState g_run;

void ResetRunState() { g_run = RunState{}; }
