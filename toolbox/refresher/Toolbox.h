// The plug-in's entry: the table the host asks for and the message dispatch.
#pragma once
#include "toolbox_api.h"

class CMessageHandler;

namespace Toolbox {

void GetToolboxVersion(int32_t *major, int32_t *minor, int32_t *build);
int32_t DoMagic(IToolboxMessage *message, IToolboxHost *host);

// The handler the dispatch table names for a type and name (compared exactly), or null.
// The caller owns it.
CMessageHandler *CreateHandler(const char *type, const char *name);

}  // namespace Toolbox

extern "C" __declspec(dllexport) const ToolboxAPI *GetToolboxAPI();
