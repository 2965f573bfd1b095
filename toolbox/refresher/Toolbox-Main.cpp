#include <cstring>
#include <memory>
#include <new>

#include "GeneralError.h"
#include "LogSink.h"
#include "MessageHandler.h"
#include "Toolbox.h"
#include "UpdateAgent.h"
#include "UpdateOutcome.h"

namespace {

const char kUnit[] = "Toolbox-Main";
logging::NullLogSink g_fallbackSink;

const int32_t kVersionMajor = 6;
const int32_t kVersionMinor = 8;
const int32_t kVersionBuild = 282;

}  // namespace

// A null message or host handed to the entry.
struct CTBXAPIError : err::CGeneralError {
    using err::CGeneralError::CGeneralError;
};

namespace {

template <typename Handler> CMessageHandler *Create() { return new (std::nothrow) Handler(); }

struct HandlerEntry {
    const char *name;  // null: any name
    CMessageHandler *(*create)();
};

struct TypeEntry {
    const char *type;
    const HandlerEntry *entries;
    size_t count;
};

const HandlerEntry kRequestHandlers[] = {
    {"UpdateAgent", &Create<UpdateAgent>},
    {nullptr, &Create<DefaultHandler>},
};

const HandlerEntry kInternalHandlers[] = {
    {"UpdateInfo", &Create<UpdateInfo>},
    {nullptr, &Create<DefaultHandler>},
};

const TypeEntry kHandlerTable[] = {
    {"Request", kRequestHandlers, sizeof kRequestHandlers / sizeof kRequestHandlers[0]},
    {"Internal", kInternalHandlers, sizeof kInternalHandlers / sizeof kInternalHandlers[0]},
};

const ToolboxAPI kToolboxAPI = {1, &Toolbox::GetToolboxVersion, &Toolbox::DoMagic};

}  // namespace

namespace Toolbox {

void GetToolboxVersion(int32_t *major, int32_t *minor, int32_t *build) {
    if (major) *major = kVersionMajor;
    if (minor) *minor = kVersionMinor;
    if (build) *build = kVersionBuild;
}

CMessageHandler *CreateHandler(const char *type, const char *name) {
    if (type == nullptr || name == nullptr) return nullptr;
    for (const TypeEntry &typeEntry : kHandlerTable) {
        if (std::strcmp(typeEntry.type, type) != 0) continue;
        for (size_t i = 0; i < typeEntry.count; ++i) {
            const HandlerEntry &entry = typeEntry.entries[i];
            if (entry.name == nullptr || std::strcmp(entry.name, name) == 0) return entry.create();
        }
    }
    return nullptr;
}

int32_t DoMagic(IToolboxMessage *message, IToolboxHost *host) {
    std::unique_ptr<CMessageHandler> handler;
    try {
        if (message == nullptr || host == nullptr)
            throw CTBXAPIError(kUnit, __LINE__, "DoMagic - Bad Parameter (NULL)", 0, 0);
        host->Log(logging::kInfo, "%s:%d Toolbox::DoMagic - Finding handler for %s=%s", kUnit, __LINE__,
                  message->GetType(), message->GetName());
        // The plug-in has no load hook: an update that did not end is dealt with, and the
        // last update's outcome reported, on whatever call comes first.
        ResumeUpdateWork(host);
        handler.reset(CreateHandler(message->GetType(), message->GetName()));
        if (!handler) return kToolboxNotHandled;
        handler->host = host;
        return handler->HandleMessage(message, host);
    } catch (const err::CGeneralError &error) {
        handler.reset();
        if (host != nullptr) {
            host->Log(logging::kError, "%s:%d Toolbox::DoMagic caught an unhandled exception", kUnit, __LINE__);
            host->Log(logging::kError, "Exception Details: %s:%d - %s (error = %d) ", error.file, error.line,
                      error.message, error.systemError);
        }
        return kToolboxNotHandled;
    } catch (...) {
        // Nothing may unwind into the host, which need not be C++ at all.
        handler.reset();
        if (host != nullptr)
            host->Log(logging::kError, "%s:%d Toolbox::DoMagic caught an unhandled exception", kUnit, __LINE__);
        return kToolboxNotHandled;
    }
}

}  // namespace Toolbox

extern "C" __declspec(dllexport) const ToolboxAPI *GetToolboxAPI() { return &kToolboxAPI; }
