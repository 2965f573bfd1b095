// The agent's side of a plug-in call: every host operation becomes one event line.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostMessage.h"
#include "WinOwners.h"
#include "toolbox_api.h"

using EventSink = std::function<void(const std::string &line)>;

class AgentHost : public IToolboxHost {
public:
    // With giveNoReplies, NewMessage returns null, as a host out of messages would.
    explicit AgentHost(EventSink sink, bool giveNoReplies = false)
        : sink_(std::move(sink)), giveNoReplies_(giveNoReplies) {}
    virtual ~AgentHost() = default;

    void Dispatch(IToolboxMessage *message) override;
    void Log(int level, const char *format, ...) override __attribute__((format(gnu_printf, 3, 4)));
    IToolboxMessage *NewMessage() override;
    void SendReply(IToolboxMessage *reply) override;

private:
    void EmitMessage(const char *event, IToolboxMessage *message);

    EventSink sink_;
    bool giveNoReplies_;
    std::vector<std::unique_ptr<HostMessage>> replies_;  // owned until the host goes
};

// A message to hand to a plug-in, as the command line or a request file describes it.
struct PluginCall {
    HostMessage message;
    bool nullMessage = false;  // pass a null message pointer instead
    bool nullHost = false;     // pass a null host pointer instead
    bool nullReply = false;    // the host's NewMessage returns null
};

// Reads "--type T", "--name N", "--int KEY=NUMBER", "--str KEY=TEXT", "--null-message",
// "--null-host" and "--null-reply". Returns false with a reason on anything else.
bool ParseRequestOptions(const std::vector<std::string> &arguments, PluginCall &call, std::string &error);

// Calls the plug-in with the message; emits the events of the call, then the message as it
// stands afterwards and the result code. Returns the result code.
int32_t RunRequest(const ToolboxAPI &api, PluginCall &call, const EventSink &sink);

// The loaded plug-in (refresher.dll beside the program, unless a path is given).
class Plugin {
public:
    Plugin() = default;
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;
    bool Load(const std::string &path, std::string &error);
    const ToolboxAPI &Api() const { return *api_; }
    const std::string &Path() const { return path_; }

private:
    util::ScopedLibrary module_;
    const ToolboxAPI *api_ = nullptr;
    std::string path_;
};

// A system error number as text: "The system cannot find the file specified. (error 2)".
std::string SystemErrorText(unsigned long error);

// Folder of the running program, with its trailing "\"; empty when it cannot be learnt
// (never the current folder: a library is loaded only from where the program is).
std::string ProgramFolder();
