// warden.exe as the Windows service "Tessaro Deployment Agent". While it runs it answers
// request files dropped into the "requests" folder beside it.
#pragma once
#include <string>

#include "toolbox_api.h"

namespace agent_service {

extern const char kServiceName[];

// Command-line actions; each returns the program's exit code and says what it did.
// Install first restricts the requests folder to Administrators and SYSTEM. stopDelayMs
// (for tests) makes the installed service take that much longer to stop; stopAfterS (for
// tests) makes it stop itself that many seconds after it reports Running. Before it loads
// the plug-in, the running service finishes or undoes an update that did not end.
int Install(bool autoStart, unsigned long stopDelayMs, unsigned long stopAfterS);
int Uninstall();
// Hands the process to the service control manager (the service's own command line).
int Run(unsigned long stopDelayMs, unsigned long stopAfterS);

// Request files: "<name>.req" in the drop folder, one option a line as "warden.exe send"
// takes them ("--type Request", "--str File0=temp:..."; blank lines and "#" lines are
// skipped). The answer is "<name>.reply": the event lines of the call, or one "error" event
// for a request that cannot be read or taken. A request is taken (renamed to
// "<name>.req.taken") before it runs and removed afterwards, so it runs once even when it
// cannot be removed.
// Answers every request waiting in the folder, by name; returns how many ran.
int AnswerRequests(const ToolboxAPI &api, const std::string &dropFolder);
// Answers one request file into the reply path.
void AnswerRequest(const ToolboxAPI &api, const std::string &requestPath, const std::string &replyPath);

// "warden.status" beside the program: what the running service is made of, so that an
// operator (or a test) can tell which build is serving.
std::string StatusText(const std::string &pluginPath);

}  // namespace agent_service
