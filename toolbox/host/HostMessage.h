// The agent host's message: a type, a name and keyed fields that are texts or integers,
// kept in the order they were first set.
#pragma once
#include <string>
#include <vector>

#include "toolbox_api.h"

class HostMessage : public IToolboxMessage {
public:
    struct Field {
        std::string key;
        bool isInt = false;
        int32_t number = 0;
        std::string text;
    };

    HostMessage() = default;
    HostMessage(std::string type, std::string name) : type_(std::move(type)), name_(std::move(name)) {}
    HostMessage(const HostMessage &) = default;
    HostMessage &operator=(const HostMessage &) = default;
    virtual ~HostMessage() = default;

    void SetInt(const char *key, int32_t value) override;
    void SetString(const std::string &key, const std::string &value) override;
    void SetString(const char *key, const char *value) override;
    void SetTypeAndName(const char *type, const char *name) override;
    const char *GetType() override { return type_.c_str(); }
    const char *GetName() override { return name_.c_str(); }
    const char *GetString(const char *key) override;
    bool GetIntField(const char *key, int32_t *value) override;
    int32_t GetInt(const char *key) override;
    const char *ToText() override;

    const std::vector<Field> &Fields() const { return fields_; }
    const Field *Find(const std::string &key) const;
    const std::string &Type() const { return type_; }
    const std::string &Name() const { return name_; }

private:
    Field &Slot(const std::string &key);

    std::string type_;
    std::string name_;
    std::vector<Field> fields_;
    std::string text_;  // what ToText last returned
};
