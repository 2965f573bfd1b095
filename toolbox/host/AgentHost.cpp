#include "AgentHost.h"

#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include "Format.h"
#include "Json.h"

void AgentHost::EmitMessage(const char *event, IToolboxMessage *message) {
    HostMessage *known = dynamic_cast<HostMessage *>(message);
    if (known != nullptr) {
        sink_(json::MessageEvent(event, *known));
    } else if (message != nullptr) {
        sink_(json::MessageEvent(event, HostMessage(message->GetType(), message->GetName())));
    } else {
        sink_(util::Format("{\"event\":\"%s\",\"type\":null,\"name\":null,\"fields\":{}}", event));
    }
}

void AgentHost::Dispatch(IToolboxMessage *message) { EmitMessage("dispatch", message); }

void AgentHost::Log(int level, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = util::FormatV(format, args);
    va_end(args);
    sink_(util::Format("{\"event\":\"log\",\"level\":%d,\"text\":%s}", level, json::Quote(text).c_str()));
}

IToolboxMessage *AgentHost::NewMessage() {
    if (giveNoReplies_) return nullptr;
    replies_.push_back(std::make_unique<HostMessage>());
    return replies_.back().get();
}

void AgentHost::SendReply(IToolboxMessage *reply) { EmitMessage("reply", reply); }

namespace {

bool SplitKeyValue(const std::string &text, std::string &key, std::string &value) {
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    key = text.substr(0, equals);
    value = text.substr(equals + 1);
    return true;
}

bool ParseInt32(const std::string &text, int32_t &number) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
    number = static_cast<int32_t>(value);
    return true;
}

}  // namespace

bool ParseRequestOptions(const std::vector<std::string> &arguments, PluginCall &call, std::string &error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &option = arguments[i];
        if (option == "--null-message") {
            call.nullMessage = true;
            continue;
        }
        if (option == "--null-host") {
            call.nullHost = true;
            continue;
        }
        if (option == "--null-reply") {
            call.nullReply = true;
            continue;
        }
        if (option != "--type" && option != "--name" && option != "--int" && option != "--str") {
            error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = option + " needs a value";
            return false;
        }
        const std::string &value = arguments[++i];
        std::string key, text;
        if (option == "--type") {
            call.message.SetTypeAndName(value.c_str(), call.message.GetName());
        } else if (option == "--name") {
            call.message.SetTypeAndName(call.message.GetType(), value.c_str());
        } else if (!SplitKeyValue(value, key, text)) {
            error = option + " wants KEY=VALUE, not " + value;
            return false;
        } else if (option == "--str") {
            call.message.SetString(key, text);
        } else {
            int32_t number = 0;
            if (!ParseInt32(text, number)) {
                error = "--int " + key + " wants a 32-bit number, not " + text;
                return false;
            }
            call.message.SetInt(key.c_str(), number);
        }
    }
    return true;
}

int32_t RunRequest(const ToolboxAPI &api, PluginCall &call, const EventSink &sink) {
    AgentHost host(sink, call.nullReply);
    int32_t code = api.DoMagic(call.nullMessage ? nullptr : &call.message, call.nullHost ? nullptr : &host);
    if (!call.nullMessage) sink(json::MessageEvent("message", call.message));
    sink(util::Format("{\"event\":\"result\",\"code\":%d}", code));
    return code;
}

std::string SystemErrorText(unsigned long error) {
    char text[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        text[--length] = '\0';
    return util::Format("%s (error %lu)", length ? text : "unknown error", error);
}

namespace {

// "C:\..." or "\\server\...": a path that no search completes.
bool IsFullPath(const std::string &path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && path[1] == ':' && separator(path[2])) return true;
    return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

}  // namespace

bool Plugin::Load(const std::string &path, std::string &error) {
    path_ = path;
    // Only a full path: a bare or relative name would be looked for in the current folder.
    if (!IsFullPath(path)) {
        error = "cannot load \"" + path + "\": not a full path";
        return false;
    }
    module_.Reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_.Valid()) {
        error = "cannot load " + path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    auto getApi = reinterpret_cast<GetToolboxAPIFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), TOOLBOX_API_EXPORT_NAME)));
    if (getApi == nullptr) {
        error = path + " has no export " TOOLBOX_API_EXPORT_NAME ": " + SystemErrorText(GetLastError());
        return false;
    }
    const ToolboxAPI *api = getApi();
    if (api == nullptr || api->revision != 1 || api->GetToolboxVersion == nullptr || api->DoMagic == nullptr) {
        error = path + " returned no usable Toolbox table";
        return false;
    }
    api_ = api;
    return true;
}

std::string ProgramFolder() {
    char path[MAX_PATH + 1] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    size_t separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : folder.substr(0, separator + 1);
}
