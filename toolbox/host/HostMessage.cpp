#include "HostMessage.h"

const HostMessage::Field *HostMessage::Find(const std::string &key) const {
    for (const Field &field : fields_) {
        if (field.key == key) return &field;
    }
    return nullptr;
}

HostMessage::Field &HostMessage::Slot(const std::string &key) {
    for (Field &field : fields_) {
        if (field.key == key) return field;
    }
    fields_.push_back(Field{key, false, 0, std::string()});
    return fields_.back();
}

void HostMessage::SetInt(const char *key, int32_t value) {
    if (key == nullptr) return;
    Field &field = Slot(key);
    field.isInt = true;
    field.number = value;
    field.text.clear();
}

void HostMessage::SetString(const std::string &key, const std::string &value) {
    Field &field = Slot(key);
    field.isInt = false;
    field.number = 0;
    field.text = value;
}

void HostMessage::SetString(const char *key, const char *value) {
    if (key == nullptr) return;
    SetString(std::string(key), std::string(value ? value : ""));
}

void HostMessage::SetTypeAndName(const char *type, const char *name) {
    type_ = type ? type : "";
    name_ = name ? name : "";
}

const char *HostMessage::GetString(const char *key) {
    const Field *field = key ? Find(key) : nullptr;
    return field && !field->isInt ? field->text.c_str() : "";
}

bool HostMessage::GetIntField(const char *key, int32_t *value) {
    const Field *field = key ? Find(key) : nullptr;
    if (field == nullptr || !field->isInt || value == nullptr) return false;
    *value = field->number;
    return true;
}

int32_t HostMessage::GetInt(const char *key) {
    int32_t value = 0;
    GetIntField(key, &value);
    return value;
}

const char *HostMessage::ToText() {
    text_ = type_ + "/" + name_;
    for (const Field &field : fields_) {
        text_ += "\n  " + field.key + " = ";
        text_ += field.isInt ? std::to_string(field.number) : "\"" + field.text + "\"";
    }
    return text_.c_str();
}
