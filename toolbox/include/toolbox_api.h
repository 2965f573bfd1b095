// The Toolbox plug-in interface between the agent host (warden.exe) and its plug-ins.
// The order of the virtual operations is the binary contract: new operations go at the
// end of an interface, never between existing ones.
#pragma once
#include <cstdint>
#include <string>

// A message owned by the host. Plug-ins read and change it but never free it.
class IToolboxMessage {
public:
    virtual void SetInt(const char *key, int32_t value) = 0;
    virtual void SetString(const std::string &key, const std::string &value) = 0;
    virtual void SetString(const char *key, const char *value) = 0;
    virtual void SetTypeAndName(const char *type, const char *name) = 0;
    virtual const char *GetType() = 0;
    virtual const char *GetName() = 0;
    // Never null: the empty text when the field is absent or not a text.
    virtual const char *GetString(const char *key) = 0;
    // Stores the integer field in *value when it is there; *value is left alone otherwise.
    virtual bool GetIntField(const char *key, int32_t *value) = 0;
    // 0 when the field is absent or not an integer.
    virtual int32_t GetInt(const char *key) = 0;
    // Printable form of the whole message, for logs.
    virtual const char *ToText() = 0;

protected:
    ~IToolboxMessage() = default;
};

// The host side of a call: logging, new replies, and messages handed back for processing.
class IToolboxHost {
public:
    virtual void Dispatch(IToolboxMessage *message) = 0;
    // Level 0 error, 1 info, 2 detail.
    virtual void Log(int level, const char *format, ...) __attribute__((format(gnu_printf, 3, 4))) = 0;
    // A new, empty message owned by the host, to be filled and passed to SendReply.
    virtual IToolboxMessage *NewMessage() = 0;
    virtual void SendReply(IToolboxMessage *reply) = 0;

protected:
    ~IToolboxHost() = default;
};

// Result codes of DoMagic.
enum ToolboxResult : int32_t {
    kToolboxNotHandled = 0,  // no handler, a bad parameter, or the handler failed
    kToolboxHandled = 1,     // the request was carried out and a reply sent
    kToolboxPassedOver = 2,  // seen, and left for others
};

struct ToolboxAPI {
    int32_t revision;  // 1
    void (*GetToolboxVersion)(int32_t *major, int32_t *minor, int32_t *build);
    int32_t (*DoMagic)(IToolboxMessage *message, IToolboxHost *host);
};

// The one export of a plug-in, looked up by name.
extern "C" {
typedef const ToolboxAPI *(*GetToolboxAPIFunction)();
}
#define TOOLBOX_API_EXPORT_NAME "GetToolboxAPI"
