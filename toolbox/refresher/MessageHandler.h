// Message handlers: one object per message, created by Toolbox::DoMagic and destroyed
// before it returns.
#pragma once
#include "LogSink.h"
#include "toolbox_api.h"

class CMessageHandler : public logging::ILogSink {
public:
    IToolboxHost *host = nullptr;  // not owned; set by DoMagic

    ~CMessageHandler() override = default;
    // Forwards the finished text to the host unchanged (a '%' in it stays a '%').
    // Does nothing without a host or a format.
    void Log(int level, const char *format, ...) override __attribute__((format(gnu_printf, 3, 4)));
    virtual int32_t HandleMessage(IToolboxMessage *message, IToolboxHost *host) = 0;
};

// Any message the plug-in does not act upon: passed over untouched.
class DefaultHandler : public CMessageHandler {
public:
    int32_t HandleMessage(IToolboxMessage *message, IToolboxHost *host) override;
};
