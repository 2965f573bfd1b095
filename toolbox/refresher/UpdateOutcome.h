// What the plug-in does first on every call: finish or undo an update of the agent's
// files that did not end, and report the outcome of the last external update.
#pragma once
#include "toolbox_api.h"

// Recovers an unfinished update in the agent's folder (unless one is running), then sends
// the update script's result, when there is one, to the host as a Reply/UpdateAgent with
// the request's IDs, and removes it.
void ResumeUpdateWork(IToolboxHost *host);
