#include "Json.h"

#include <cstdio>

#include "HostMessage.h"

namespace json {

std::string Quote(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte > 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Fields(const HostMessage &message) {
    std::string out = "{";
    for (const HostMessage::Field &field : message.Fields()) {
        if (out.size() > 1) out += ",";
        out += Quote(field.key) + ":" + (field.isInt ? std::to_string(field.number) : Quote(field.text));
    }
    return out + "}";
}

std::string MessageEvent(const char *event, const HostMessage &message) {
    return "{\"event\":" + Quote(event) + ",\"type\":" + Quote(message.Type()) + ",\"name\":" +
           Quote(message.Name()) + ",\"fields\":" + Fields(message) + "}";
}

}  // namespace json
