// The host's event lines: one JSON object per line.
#pragma once
#include <string>

class HostMessage;

namespace json {

// A JSON string literal, quotes included. Bytes above 0x7f are written as \u00XX.
std::string Quote(const std::string &text);
// {"FileCount":2,"File0":"temp:a.dll"} in field order.
std::string Fields(const HostMessage &message);
// {"event":"<event>","type":...,"name":...,"fields":{...}}
std::string MessageEvent(const char *event, const HostMessage &message);

}  // namespace json
