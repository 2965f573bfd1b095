#include "run_state.h"

#include "script_guard.h"

RunState g_run;

void ResetRunState() {
    g_run = RunState{};
    ResetSavedState();
}
