#include "MessageHandler.h"

#include <cstdarg>

#include "Format.h"

void CMessageHandler::Log(int level, const char *format, ...) {
    if (host == nullptr || format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::string text = util::FormatV(format, args);
    va_end(args);
    host->Log(level, "%s", text.c_str());
}

int32_t DefaultHandler::HandleMessage(IToolboxMessage *, IToolboxHost *) { return kToolboxPassedOver; }
