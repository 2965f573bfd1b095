#include "registry_commands.h"

#include <string>

#include "commands/registry_rules.h"
#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "engine/win_owners.h"
#include "hardware/os_tests.h"

namespace {

// Read and replace a key's access list: READ_CONTROL, WRITE_DAC and the read rights.
const REGSAM kAccessListRights = 0x60019;

// Indexed by RootKey.
const HKEY kRootKeys[kRootKeyCount] = {
    HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
    HKEY_USERS,        HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,
};

HKEY RootKeyHandle(RootKey key) {
    int index = static_cast<int>(key);
    if (index < 0 || index >= kRootKeyCount) return HKEY_LOCAL_MACHINE;
    return kRootKeys[index];
}

void LogSystemText(const char *first, LONG code) {
    char detail[512];
    DescribeError(detail, sizeof detail, static_cast<unsigned long>(code));
    LogLine(first, detail);
}

// Deletes a key in the same registry view the commands open keys in. Under WOW64 a
// plain deletion would reach the 32-bit view and remove another key of that name;
// the view-aware call is looked up at run time, as older systems lack it.
LONG DeleteKeyInView(HKEY root, const char *keyPath, REGSAM view) {
    if (view != 0) {
        using DeleteKeyExFn = LONG(WINAPI *)(HKEY, LPCSTR, REGSAM, DWORD);
        HMODULE advapi = GetModuleHandleA("advapi32");
        auto deleteKeyEx = advapi ? reinterpret_cast<DeleteKeyExFn>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(advapi, "RegDeleteKeyExA")))
                                  : nullptr;
        if (deleteKeyEx) return deleteKeyEx(root, keyPath, view, 0);
    }
    return RegDeleteKeyA(root, keyPath);
}

LONG WriteAccessList(HKEY root, const char *keyPath, const SavedAccessList &saved) {
    if (!saved.Saved()) return ERROR_INVALID_PARAMETER;
    ScopedKey connected;
    LONG code = RegConnectRegistryA(nullptr, root, connected.Receive());
    if (code != ERROR_SUCCESS) return code;
    ScopedKey key;
    code = RegOpenKeyExA(connected.Get(), keyPath, 0, kAccessListRights | RegistryViewFlag(), key.Receive());
    if (code != ERROR_SUCCESS) return code;
    auto descriptor = const_cast<BYTE *>(saved.descriptor.data());
    return RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor);
}

// A key whose access list stays replaced is open to everyone: that must not pass
// unnoticed. A key the action removed has nothing left to restore.
void RestoreAndReport(HKEY root, const char *keyPath, const SavedAccessList &saved) {
    LONG code = WriteAccessList(root, keyPath, saved);
    if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) return;
    LogLine("ERROR: cannot restore the access list, key left open to everyone->", keyPath);
    LogSystemText("ERROR details: ", code);
}

bool DeleteTree(HKEY root, const std::string &keyPath, REGSAM view) {
    if (DeleteKeyInView(root, keyPath.c_str(), view) == ERROR_SUCCESS) return true;
    ScopedKey key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS | view, key.Receive()) == ERROR_SUCCESS) {
        // A subkey that stays is passed over; taking the first one again and again
        // would never end.
        DWORD passedOver = 0;
        char name[260];
        while (RegEnumKeyA(key.Get(), passedOver, name, sizeof name) == ERROR_SUCCESS) {
            std::string child = keyPath + "\\" + name;
            SavedAccessList saved;
            OpenKeyAccess(root, child.c_str(), saved);
            bool removed = DeleteTree(root, child, view);
            if (saved.Saved()) RestoreAndReport(root, child.c_str(), saved);
            if (!removed) ++passedOver;
        }
        key.Reset();
    }
    LONG code = DeleteKeyInView(root, keyPath.c_str(), view);
    if (code == ERROR_SUCCESS) return true;
    LogLine("ERROR: error removing registry key->", keyPath.c_str());
    LogSystemText("ERROR details: ", code);
    return false;
}

// ---- Single registry command (3, 4, 12) ----

void ReadArgument(const char *key, char (&value)[512]) {
    GetPrivateProfileStringA(g_run.argumentSection, key, "", value, sizeof value, g_run.scriptFile);
}

// ---- MultiRegEdit (14) ----

struct ActionContext {
    HKEY root;
    const char *rootText;
    const char *keyPath;
    const char *valueName;
    const RegistryData *data;
    REGSAM view;
};

void SetActionValue(HKEY key, const ActionContext &action) {
    const RegistryData &data = *action.data;
    LONG code = RegSetValueExA(key, action.valueName, 0, data.type, data.bytes.data(),
                               static_cast<DWORD>(data.bytes.size()));
    if (code == ERROR_SUCCESS) {
        char description[512];
        text::FormatBounded(description, sizeof description, "%s\\%s\\%s", action.rootText, action.keyPath,
                            action.valueName);
        LogLine("...adding key: ", description);
        return;
    }
    LogLine("ERROR Setting Value: ", action.valueName);
    LogSystemText("ERROR details: ", code);
}

bool CreateActionKey(const ActionContext &action, ScopedKey &key) {
    LONG code = RegCreateKeyExA(action.root, action.keyPath, 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                                KEY_ALL_ACCESS | action.view, nullptr, key.Receive(), nullptr);
    if (code == ERROR_SUCCESS) return true;
    LogLine("ERROR opening key: ", action.keyPath);
    LogSystemText("ERROR details: ", code);
    return false;
}

void AddValue(const ActionContext &action) {
    ScopedKey key;
    if (CreateActionKey(action, key)) SetActionValue(key.Get(), action);
}

void DeleteKeyTree(const ActionContext &action) { DeleteRegistryTree(action.root, action.keyPath); }

void DeleteValue(const ActionContext &action) {
    ScopedKey key;
    if (!CreateActionKey(action, key)) return;
    LONG code = RegDeleteValueA(key.Get(), action.valueName);
    if (code == ERROR_SUCCESS) {
        LogLine("...removed value: ", action.valueName);
        return;
    }
    LogLine("ERROR Removing Value: ", action.valueName);
    LogSystemText("ERROR details: ", code);
}

void AddValueIfKeyExists(const ActionContext &action) {
    ScopedKey key;
    LONG code = RegOpenKeyExA(action.root, action.keyPath, REG_OPTION_BACKUP_RESTORE, KEY_ALL_ACCESS | action.view,
                              key.Receive());
    if (code != ERROR_SUCCESS) {
        LogLine("NOTICE -- couldn't open key: ", action.keyPath);
        LogSystemText("NOTICE -- details: ", code);
        return;
    }
    SetActionValue(key.Get(), action);
}

struct ActionRow {
    const char *title;
    const char *description;
    void (*run)(const ActionContext &);
};

// Indexed by action number - 1.
const ActionRow kActions[] = {
    {"Execute  CMD>14 - 1:", " Add Key to registry", AddValue},
    {"Execute  CMD>14 - 2:", " Delete Key from registry", DeleteKeyTree},
    {"Execute  CMD>14 - 3:", " Delete Value from registry", DeleteValue},
    {"Execute  CMD>14 - 4:", " Add Value to registry if Key exists", AddValueIfKeyExists},
};
const int kActionCount = static_cast<int>(sizeof kActions / sizeof kActions[0]);

// Expands a field in a 260-character copy; the field itself is used when it holds
// no token.
const char *ExpandedField(const char *field, char (&copy)[260]) {
    text::Copy(copy, field);
    return GetVariable(copy, sizeof copy) ? copy : field;
}

void LogHexNotes(const HexNotes &notes, const char *data) {
    if (notes.oddDigit) LogLine("NOTICE:Odd number of hexadecimal digits, the last one is ignored ->", data);
    if (notes.notHexDigit) LogLine("NOTICE:Character that is not a hexadecimal digit counted as 0 ->", data);
    if (notes.digitsDropped) LogLine("NOTICE:More than eight hexadecimal digits, only the last eight kept ->", data);
}

// Carries out one action line. False when the line is malformed: the command stops.
bool RunActionLine(const char *lineText, REGSAM view) {
    std::string work(lineText);
    ActionLine fields;
    MissingField missing = SplitActionLine(&work[0], fields);
    if (missing != MissingField::None) {
        LogLine(MissingFieldNotice(missing), lineText);
        return false;
    }

    // An empty path names the root key itself: its access list would be opened to
    // everyone, its values changed, a whole hive emptied.
    if (fields.key[0] == '\0') {
        LogLine("NOTICE:Key path empty, a root key is never changed, line skipped ->", lineText);
        return true;
    }

    char dataCopy[260];
    // The conversion upper-cases hexadecimal data in place: it works on a copy.
    std::string data = ExpandedField(fields.data, dataCopy);
    RootKey rootKey;
    HKEY root = HKEY_LOCAL_MACHINE;
    if (RootKeyFromAbbreviation(fields.root, rootKey))
        root = RootKeyHandle(rootKey);
    else
        LogLine("NOTICE:", "unable to determine root key, defaulting to -> HKEY_LOCAL_MACHINE");
    HexNotes notes;
    RegistryData converted = ListCommandData(fields.dataTypeCode, &data[0], notes);
    LogHexNotes(notes, data.c_str());
    LogLineFormat("Size of Data is :", "iSize = %d  %s strlen=%d", static_cast<int>(converted.bytes.size()),
                  DataShownAsText(fields.dataTypeCode, converted, data.c_str()).c_str(),
                  static_cast<int>(UnreadDataLength(fields.dataTypeCode, data.c_str())));

    char nameCopy[260];
    const char *valueName = ExpandedField(fields.valueName, nameCopy);

    SavedAccessList saved;
    OpenKeyAccess(root, fields.key, saved);

    ActionContext action{root, fields.root, fields.key, valueName, &converted, view};
    if (fields.action >= 1 && fields.action <= kActionCount) {
        const ActionRow &row = kActions[fields.action - 1];
        LogLine(row.title, row.description);
        row.run(action);
    } else {
        LogLine("ERROR:undefined action ->", fields.actionText);
    }

    if (saved.Saved()) RestoreAndReport(root, fields.key, saved);
    return true;
}

}  // namespace

REGSAM RegistryViewFlag() { return RunningUnderWow64() ? KEY_WOW64_64KEY : 0; }

int OpenKeyAccess(HKEY root, const char *keyPath, SavedAccessList &saved) {
    saved.descriptor.clear();
    ScopedKey connected;
    if (RegConnectRegistryA(nullptr, root, connected.Receive()) != ERROR_SUCCESS) return 0;
    ScopedKey key;
    if (RegOpenKeyExA(connected.Get(), keyPath, 0, kAccessListRights | RegistryViewFlag(), key.Receive()) !=
        ERROR_SUCCESS)
        return 0;
    DWORD size = 0;
    if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size) != ERROR_INSUFFICIENT_BUFFER ||
        size == 0)
        return 0;
    std::vector<BYTE> descriptor(size);
    // Only a list actually read counts as saved: replacing one that could not be
    // read would leave the key open with nothing to put back.
    if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS)
        return 0;
    saved.descriptor.swap(descriptor);

    SECURITY_DESCRIPTOR openToEveryone;
    if (!InitializeSecurityDescriptor(&openToEveryone, SECURITY_DESCRIPTOR_REVISION)) return 0;
    if (!SetSecurityDescriptorDacl(&openToEveryone, TRUE, nullptr, FALSE)) return 0;
    if (!IsValidSecurityDescriptor(&openToEveryone)) return 0;
    return RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &openToEveryone) == ERROR_SUCCESS ? 1 : 0;
}

int RestoreKeyAccess(HKEY root, const char *keyPath, const SavedAccessList &saved) {
    return WriteAccessList(root, keyPath, saved) == ERROR_SUCCESS ? 1 : 0;
}

void DeleteRegistryTree(HKEY root, const char *keyPath) {
    DeleteTree(root, keyPath ? keyPath : "", RegistryViewFlag());
}

int CmdSingleRegistryEdit() {
    char hive[512], keyPath[512], valueName[512], data[512];
    ReadArgument("RegHive", hive);
    ReadArgument("RegKey", keyPath);
    ReadArgument("RegValue", valueName);
    ReadArgument("RegData", data);
    const int code = static_cast<int>(GetPrivateProfileIntA(g_run.argumentSection, "RegDataType", 0, g_run.scriptFile));
    GetVariable(data, sizeof data);

    char display[512];
    BuildRegistryDisplayText(display, sizeof display, hive, keyPath, valueName, data);
    RegistryData converted = SingleCommandData(code, data);
    RootKey rootKey;
    const HKEY root = RootKeyFromName(hive, rootKey) ? RootKeyHandle(rootKey) : HKEY_LOCAL_MACHINE;
    const REGSAM view = RegistryViewFlag();

    ScopedKey key;
    LONG result = RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view,
                                  nullptr, key.Receive(), nullptr);
    if (result != ERROR_SUCCESS) {
        LogLine("ERROR opening key: ", display);
        LogSystemText("ERROR details: ", result);
        return 0;
    }

    switch (g_run.commandType) {
    case 3:
        result = RegSetValueExA(key.Get(), valueName, 0, converted.type, converted.bytes.data(),
                                static_cast<DWORD>(converted.bytes.size()));
        if (result == ERROR_SUCCESS) {
            LogLine("...adding key: ", display);
        } else {
            LogLine("ERROR adding key: ", display);
            LogSystemText("ERROR details: ", result);
        }
        break;
    case 4:
        LogLine("...deleting Value: ", display);
        if (RegDeleteValueA(key.Get(), valueName) != ERROR_SUCCESS) LogLine("...ERROR deleting Value", " ");
        break;
    case 12:
        key.Reset();
        LogLine("...deleting Key: ", keyPath);
        if (DeleteKeyInView(root, keyPath, view) != ERROR_SUCCESS) LogLine("...ERROR deleting Key", " ");
        break;
    default: break;
    }
    return 0;
}

int CmdMultiRegEdit() {
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", "Missing the Data section");
        return 2;
    }
    const REGSAM view = RegistryViewFlag();
    bool stopped = false;
    ForEachSectionLine(section.get(), [&](const char *line) {
        if (!stopped) stopped = !RunActionLine(line, view);
    });
    return 0;
}
