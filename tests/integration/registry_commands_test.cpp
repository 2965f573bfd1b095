// The registry commands run in real kestrel.exe processes; what they wrote is read
// back from Wine's registry with the registry API.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

const char kTestsKey[] = "Software\\KestrelTests";
const char kMachineTestsKey[] = "SOFTWARE\\KestrelTests";

// kestrel reaches the 64-bit registry view from either build; the tests read and
// prepare that view too, and look into the 32-bit one for what must not be there.
const REGSAM kView64 = KEY_WOW64_64KEY, kView32 = KEY_WOW64_32KEY;

struct Value {
    bool found = false;
    DWORD type = 0;
    std::vector<BYTE> bytes;
};

Value ReadValue(HKEY root, const std::string &path, const std::string &name, REGSAM view = kView64) {
    Value value;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.found = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &size) ==
                      ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

std::vector<BYTE> Bytes(const std::string &text, bool terminator) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    if (terminator) bytes.push_back(0);
    return bytes;
}

std::vector<BYTE> DwordBytes(DWORD value) {
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

bool KeyExists(HKEY root, const std::string &path, REGSAM view = kView64) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY root, const std::string &path, REGSAM view = kView64) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void SetString(HKEY root, const std::string &path, const std::string &name, const std::string &data,
               REGSAM view = kView64) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

// The key's security descriptor with its DACL, as bytes.
std::vector<BYTE> AccessList(HKEY root, const std::string &path) {
    std::vector<BYTE> descriptor;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | kView64, &key) != ERROR_SUCCESS) return descriptor;
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    descriptor.resize(size);
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS)
        descriptor.clear();
    RegCloseKey(key);
    return descriptor;
}

bool SetAccessList(HKEY root, const std::string &path, const char *sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key;
    bool done = false;
    if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | kView64, &key) == ERROR_SUCCESS) {
        done = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return done;
}

// Removes a key with everything below it from one view.
void DeleteKeyTree(HKEY root, const std::string &path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(root, path.c_str(), view, 0);
}

bool StartsWith(const std::string &textValue, const std::string &prefix) {
    return textValue.compare(0, prefix.size(), prefix) == 0;
}

int FindPrefix(const std::vector<std::string> &texts, const std::string &prefix, int from = 0) {
    for (int i = from; i < static_cast<int>(texts.size()); ++i)
        if (StartsWith(texts[i], prefix)) return i;
    return -1;
}

class RegistryRun : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = std::string("registry_") + info->name();
        folder_ = FreshFolder(name_);
        log_ = folder_ + "\\install.log";
        script_ = folder_ + "\\" + name_ + ".ini";
        DeleteTree(WorkingCopyOf(name_ + ".ini"));
        user_ = std::string(kTestsKey) + "\\" + info->name();
        machine_ = std::string(kMachineTestsKey) + "\\" + info->name();
        DeleteTestKeys();
    }
    void TearDown() override {
        // A key a test locked must be opened again before it can be removed.
        SetAccessList(HKEY_CURRENT_USER, user_ + "\\Stuck\\A_Locked", "D:(A;;KA;;;WD)");
        DeleteTestKeys();
        for (REGSAM view : {kView64, kView32}) {
            RegDeleteKeyExA(HKEY_CURRENT_USER, kTestsKey, view, 0);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMachineTestsKey, view, 0);
        }
    }
    void DeleteTestKeys() {
        for (REGSAM view : {kView64, kView32}) {
            DeleteKeyTree(HKEY_CURRENT_USER, user_, view);
            DeleteKeyTree(HKEY_LOCAL_MACHINE, machine_, view);
        }
    }

    // Runs the script body and returns the log texts from the first command on.
    std::vector<std::string> Run(const std::string &body) {
        WriteFile(script_, "[Data]\r\nLogging=1\r\nLogFile=" + log_ + "\r\n" + body);
        EXPECT_EQ(0, RunKestrel(script_ + " -silent"));
        std::vector<std::string> texts = LogTexts(log_);
        EXPECT_EQ("DONE !", texts.empty() ? "" : texts.back());
        int first = FindPrefix(texts, "CMD0> ");
        return first < 0 ? texts : std::vector<std::string>(texts.begin() + first, texts.end());
    }

    // A script whose one command 14 runs the given action lines.
    std::vector<std::string> RunActions(std::initializer_list<std::string> lines) {
        std::string body = Ini({"[CommandsList]", "14,Actions", "[Actions]"});
        for (const std::string &line : lines) body += line + "\r\n";
        return Run(body);
    }

    std::string name_, folder_, log_, script_, user_, machine_;
};

// ---- Commands 3, 4 and 12 ----

TEST_F(RegistryRun, SingleCommandWritesTheDataTextsOwnCharactersUnderItsRoot) {
    auto texts = Run(Ini({"[CommandsList]", "3,Dword", "3,Binary", "3,Text", "3,Expand", "3,Multi", "3,Abbreviated",
                          "[Variables]", "V001=from a variable",
                          "[Dword]", "RegHive=hkey_current_user", "RegKey=" + user_, "RegValue=Flag",
                          "RegData=1234", "RegDataType=2",
                          "[Binary]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_, "RegValue=Bin",
                          "RegData=0A0B", "RegDataType=1",
                          "[Text]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_, "RegValue=Text",
                          "RegData=~%V001 and more", "RegDataType=7",
                          "[Expand]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_, "RegValue=Expand",
                          "RegData=%windir%\\x", "RegDataType=3",
                          "[Multi]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_, "RegValue=Multi",
                          "RegData=one", "RegDataType=4",
                          "[Abbreviated]", "RegHive=HKCU", "RegKey=" + machine_, "RegValue=Name", "RegData=here"}));

    Value dword = ReadValue(HKEY_CURRENT_USER, user_, "Flag");
    EXPECT_EQ(DWORD(REG_DWORD), dword.type);
    EXPECT_EQ(Bytes("1234", false), dword.bytes);
    Value binary = ReadValue(HKEY_CURRENT_USER, user_, "Bin");
    EXPECT_EQ(DWORD(REG_BINARY), binary.type);
    EXPECT_EQ(Bytes("0A0B", false), binary.bytes);
    Value textValue = ReadValue(HKEY_CURRENT_USER, user_, "Text");
    EXPECT_EQ(DWORD(REG_SZ), textValue.type);
    EXPECT_EQ(Bytes("from a variable and more", true), textValue.bytes);
    Value expand = ReadValue(HKEY_CURRENT_USER, user_, "Expand");
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), expand.type);
    EXPECT_EQ(Bytes("%windir%\\x", true), expand.bytes);
    Value multi = ReadValue(HKEY_CURRENT_USER, user_, "Multi");
    EXPECT_EQ(DWORD(REG_MULTI_SZ), multi.type);
    EXPECT_EQ(Bytes("one", true), multi.bytes);

    EXPECT_TRUE(ContainsText(texts, "...adding key:  hkey_current_user\\" + user_ + "\\Flag:<1234>"));
    EXPECT_TRUE(
        ContainsText(texts, "...adding key:  HKEY_CURRENT_USER\\" + user_ + "\\Text:<from a variable and more>"));

    // An abbreviation is no name here: the local machine, without a notice.
    EXPECT_EQ(Bytes("here", true), ReadValue(HKEY_LOCAL_MACHINE, machine_, "Name").bytes);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user_, "Name").found);
    EXPECT_EQ(-1, FindPrefix(texts, "NOTICE"));
}

TEST_F(RegistryRun, SingleCommandRemovesValuesAndKeys) {
    SetString(HKEY_CURRENT_USER, user_, "Old", "x");
    SetString(HKEY_CURRENT_USER, user_, "Keep", "y");
    CreateKey(HKEY_CURRENT_USER, user_ + "\\Parent\\Child");
    CreateKey(HKEY_CURRENT_USER, user_ + "\\Leaf");
    auto texts = Run(Ini({"[CommandsList]", "4,Value", "4,Missing", "12,Parent", "12,Leaf",
                          "[Value]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_, "RegValue=Old",
                          "[Missing]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_ + "\\New", "RegValue=None",
                          "[Parent]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_ + "\\Parent",
                          "[Leaf]", "RegHive=HKEY_CURRENT_USER", "RegKey=" + user_ + "\\Leaf"}));

    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user_, "Old").found);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user_, "Keep").found);
    int removed = FindText(texts, "...deleting Value:  HKEY_CURRENT_USER\\" + user_ + "\\Old:<>");
    ASSERT_GE(removed, 0);
    EXPECT_TRUE(StartsWith(texts[removed + 1], "CMD1> "));

    // Deleting a value of a missing key creates the key, and the deletion fails.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, user_ + "\\New"));
    int failed = FindText(texts, "...deleting Value:  HKEY_CURRENT_USER\\" + user_ + "\\New\\None:<>");
    ASSERT_GE(failed, 0);
    EXPECT_EQ("...ERROR deleting Value  ", texts[failed + 1]);

    // A key with subkeys stays.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, user_ + "\\Parent\\Child"));
    int parent = FindText(texts, "...deleting Key:  " + user_ + "\\Parent");
    ASSERT_GE(parent, 0);
    EXPECT_EQ("...ERROR deleting Key  ", texts[parent + 1]);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user_ + "\\Leaf"));
    int leaf = FindText(texts, "...deleting Key:  " + user_ + "\\Leaf");
    ASSERT_GE(leaf, 0);
    EXPECT_TRUE(StartsWith(texts[leaf + 1], "No More commands"));
}

TEST_F(RegistryRun, SingleCommandCutsAnOverlongDisplayTextButWritesTheWholeValue) {
    const std::string data(480, 'd');
    const std::string longKey = user_ + "\\" + std::string(100, 'k');
    auto texts = Run(Ini({"[CommandsList]", "3,Value", "[Value]", "RegHive=HKEY_CURRENT_USER",
                          "RegKey=" + longKey, "RegValue=" + std::string(200, 'v'), "RegData=" + data}));
    EXPECT_EQ(Bytes(data, true), ReadValue(HKEY_CURRENT_USER, longKey, std::string(200, 'v')).bytes);
    int line = FindPrefix(texts, "...adding key:  HKEY_CURRENT_USER\\" + longKey);
    ASSERT_GE(line, 0);
    EXPECT_EQ(std::string::npos, texts[line].find('>', 20));  // cut before the closing ">"
}

TEST_F(RegistryRun, SingleCommandReportsAKeyItCannotOpen) {
    auto texts = Run(Ini({"[CommandsList]", "3,Value", "[Value]", "RegHive=HKEY_CURRENT_USER",
                          "RegKey=" + user_ + "\\" + std::string(300, 'x'), "RegValue=v", "RegData=1"}));
    int line = FindPrefix(texts, "ERROR opening key:  HKEY_CURRENT_USER\\" + user_);
    ASSERT_GE(line, 0);
    EXPECT_TRUE(StartsWith(texts[line + 1], "ERROR details:  "));
    EXPECT_GT(texts[line + 1].size(), std::string("ERROR details:  ").size());
}

// ---- Command 14 ----

TEST_F(RegistryRun, ListCommandReadsHexadecimalData) {
    auto texts = RunActions({"1,HKLM," + machine_ + ",Flag,2,0000000F",
                             "1,HKLM," + machine_ + ",Lower,2,0f",
                             "1,HKCU," + user_ + ",Bin,1,0A0B0C",
                             "1,HKCU," + user_ + ",Odd,1,41424",
                             "1,hkcu, " + user_ + " , Text ,0, hello, world "});
    Value flag = ReadValue(HKEY_LOCAL_MACHINE, machine_, "Flag");
    EXPECT_EQ(DWORD(REG_DWORD), flag.type);
    EXPECT_EQ(DwordBytes(15), flag.bytes);
    EXPECT_EQ(DwordBytes(15), ReadValue(HKEY_LOCAL_MACHINE, machine_, "Lower").bytes);
    Value binary = ReadValue(HKEY_CURRENT_USER, user_, "Bin");
    EXPECT_EQ(DWORD(REG_BINARY), binary.type);
    EXPECT_EQ((std::vector<BYTE>{0x0A, 0x0B, 0x0C}), binary.bytes);
    // Raw bytes are shown escaped: no control character reaches the log.
    EXPECT_TRUE(ContainsText(texts, "Size of Data is : iSize = 3   \\x0b\\x0c strlen=0"));
    // A last single digit is left out and reported; nothing past the text is read.
    EXPECT_EQ((std::vector<BYTE>{0x41, 0x42}), ReadValue(HKEY_CURRENT_USER, user_, "Odd").bytes);
    EXPECT_TRUE(ContainsText(texts, "NOTICE:Odd number of hexadecimal digits, the last one is ignored -> 41424"));
    EXPECT_TRUE(ContainsText(texts, "Size of Data is : iSize = 2  AB strlen=0"));
    // A string keeps its commas and loses the blanks around it.
    EXPECT_EQ(Bytes("hello, world", true), ReadValue(HKEY_CURRENT_USER, user_, "Text").bytes);
    EXPECT_TRUE(ContainsText(texts, "Size of Data is : iSize = 13  hello, world strlen=12"));

    int add = FindText(texts, "Execute  CMD>14 - 1:  Add Key to registry");
    ASSERT_GE(add, 0);
    EXPECT_EQ("...adding key:  HKLM\\" + machine_ + "\\Flag", texts[add + 1]);
    EXPECT_EQ(-1, FindPrefix(texts, "NOTICE: "));
}

TEST_F(RegistryRun, ListCommandDefaultsAnUnknownRootToTheLocalMachine) {
    auto texts = RunActions({"1,HKEY_LOCAL_MACHINE," + machine_ + ",Name,0,value"});
    EXPECT_EQ(Bytes("value", true), ReadValue(HKEY_LOCAL_MACHINE, machine_, "Name").bytes);
    int notice = FindText(texts, "NOTICE: unable to determine root key, defaulting to -> HKEY_LOCAL_MACHINE");
    ASSERT_GE(notice, 0);
    EXPECT_TRUE(StartsWith(texts[notice + 1], "Size of Data is : "));
}

TEST_F(RegistryRun, ListCommandRemovesTreesAndValues) {
    CreateKey(HKEY_CURRENT_USER, user_ + "\\Old\\A\\Deep\\Deeper");
    CreateKey(HKEY_CURRENT_USER, user_ + "\\Old\\B");
    SetString(HKEY_CURRENT_USER, user_ + "\\Old\\A\\Deep", "v", "x");
    SetString(HKEY_CURRENT_USER, user_, "Gone", "x");
    SetString(HKEY_CURRENT_USER, user_, "Stays", "x");
    auto texts = RunActions({"2,HKCU," + user_ + "\\Old,,0,", "3,HKCU," + user_ + ",Gone,0,",
                             "3,HKCU," + user_ + ",NeverThere,0,"});
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user_ + "\\Old"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, user_));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user_, "Gone").found);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user_, "Stays").found);
    EXPECT_TRUE(ContainsText(texts, "Execute  CMD>14 - 2:  Delete Key from registry"));
    EXPECT_EQ(-1, FindPrefix(texts, "ERROR: error removing registry key->"));
    EXPECT_TRUE(ContainsText(texts, "...removed value:  Gone"));
    int failed = FindText(texts, "ERROR Removing Value:  NeverThere");
    ASSERT_GE(failed, 0);
    EXPECT_TRUE(StartsWith(texts[failed + 1], "ERROR details:  "));
}

TEST_F(RegistryRun, ListCommandAddsToAnExistingKeyOnly) {
    CreateKey(HKEY_CURRENT_USER, user_ + "\\There");
    auto texts = RunActions({"4,HKCU," + user_ + "\\Missing,Name,0,x", "4,HKCU," + user_ + "\\There,Name,0,y"});
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user_ + "\\Missing"));
    int notice = FindText(texts, "NOTICE -- couldn't open key:  " + user_ + "\\Missing");
    ASSERT_GE(notice, 0);
    EXPECT_TRUE(StartsWith(texts[notice + 1], "NOTICE -- details:  "));
    EXPECT_EQ(Bytes("y", true), ReadValue(HKEY_CURRENT_USER, user_ + "\\There", "Name").bytes);
    EXPECT_TRUE(ContainsText(texts, "Execute  CMD>14 - 4:  Add Value to registry if Key exists"));
}

TEST_F(RegistryRun, ListCommandExpandsValueNameAndDataButNotTheKey) {
    auto texts = Run(Ini({"[CommandsList]", "14,Actions", "[Variables]", "V002=Expanded", "V003=0000002A",
                          "[Actions]", "1,HKCU," + user_ + "\\~%V002,~%V002,2,~%V003"}));
    EXPECT_EQ(DwordBytes(42), ReadValue(HKEY_CURRENT_USER, user_ + "\\~%V002", "Expanded").bytes);
}

TEST_F(RegistryRun, ListCommandStopsAtAMalformedLine) {
    auto texts = RunActions({"1,HKCU," + user_ + ",First,0,a", "7,HKCU," + user_ + ",Other,0,b",
                             "1,HKCU," + user_ + ",NoData,0", "1,HKCU," + user_ + ",After,0,c"});
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user_, "First").found);
    EXPECT_TRUE(ContainsText(texts, "ERROR:undefined action -> 7"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user_, "Other").found);
    EXPECT_TRUE(ContainsText(texts, "NOTICE:Data not defined in line -> 1,HKCU," + user_ + ",NoData,0"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, user_, "After").found);
    EXPECT_EQ(-1, FindText(texts, "...adding key:  HKCU\\" + user_ + "\\After"));
}

TEST_F(RegistryRun, ListCommandWithoutItsSectionReportsIt) {
    auto texts = Run(Ini({"[CommandsList]", "14,Nowhere", "14,Empty", "[Empty]"}));
    int first = FindText(texts, "ERROR-=- Missing the Data section");
    ASSERT_GE(first, 0);
    EXPECT_GE(FindText(texts, "ERROR-=- Missing the Data section", first + 1), 0);
}

TEST_F(RegistryRun, ListCommandPutsTheAccessListBack) {
    CreateKey(HKEY_CURRENT_USER, user_ + "\\Guarded");
    ASSERT_TRUE(SetAccessList(HKEY_CURRENT_USER, user_ + "\\Guarded", "D:P(A;;KA;;;WD)(A;;KR;;;BU)(A;;KA;;;SY)"));
    const std::vector<BYTE> before = AccessList(HKEY_CURRENT_USER, user_ + "\\Guarded");
    ASSERT_FALSE(before.empty());
    RunActions({"1,HKCU," + user_ + "\\Guarded,Name,0,x", "3,HKCU," + user_ + "\\Guarded,Name,0,",
                "4,HKCU," + user_ + "\\Guarded,Other,2,1", "9,HKCU," + user_ + "\\Guarded,,0,"});
    EXPECT_EQ(before, AccessList(HKEY_CURRENT_USER, user_ + "\\Guarded"));
    EXPECT_EQ(DwordBytes(1), ReadValue(HKEY_CURRENT_USER, user_ + "\\Guarded", "Other").bytes);
}

TEST_F(RegistryRun, TreeRemovalPassesOverASubkeyThatStays) {
    const std::string tree = user_ + "\\Stuck";
    CreateKey(HKEY_CURRENT_USER, tree + "\\A_Locked\\Inner");
    CreateKey(HKEY_CURRENT_USER, tree + "\\B_Free\\Below");
    // Nobody may read or open the locked key: it can be neither emptied nor removed.
    ASSERT_TRUE(SetAccessList(HKEY_CURRENT_USER, tree + "\\A_Locked", "D:P(D;;KA;;;WD)"));
    const std::vector<BYTE> before = AccessList(HKEY_CURRENT_USER, tree);

    auto texts = RunActions({"2,HKCU," + tree + ",,0,", "1,HKCU," + user_ + ",Later,0,x"});

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree + "\\B_Free"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree));
    int locked = FindText(texts, "ERROR: error removing registry key-> " + tree + "\\A_Locked");
    ASSERT_GE(locked, 0);
    EXPECT_TRUE(StartsWith(texts[locked + 1], "ERROR details:  "));
    EXPECT_GE(FindText(texts, "ERROR: error removing registry key-> " + tree, locked + 1), 0);
    EXPECT_EQ(before, AccessList(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user_, "Later").found);

}

TEST_F(RegistryRun, AnEmptyKeyPathNeverTouchesARootKey) {
    CreateKey(HKEY_CURRENT_CONFIG, "KestrelTestsMarker");
    RegDeleteValueA(HKEY_CURRENT_USER, "KestrelRootProbe");  // left by a run that wrote it
    const std::vector<BYTE> before = AccessList(HKEY_CURRENT_USER, "");
    const std::vector<std::string> refused = {"1,HKCU,,KestrelRootProbe,0,x", "2,HKCC,,,0,",
                                              "4,HKCU, ,KestrelRootProbe,0,x", "3,HKCU,,KestrelTestsMarker,0,"};
    auto texts = RunActions({refused[0], refused[1], refused[2], refused[3], "1,HKCU," + user_ + ",After,0,y"});
    for (const std::string &line : refused)
        EXPECT_TRUE(ContainsText(texts, "NOTICE:Key path empty, a root key is never changed, line skipped -> " + line))
            << line;
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, "", "KestrelRootProbe").found);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "KestrelTestsMarker"));
    EXPECT_EQ(before, AccessList(HKEY_CURRENT_USER, ""));
    // The lines after a refused one still run.
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, user_, "After").found);
    RegDeleteKeyA(HKEY_CURRENT_CONFIG, "KestrelTestsMarker");
}

// HKLM\SOFTWARE has a 32-bit view of its own: every command acts in the 64-bit
// one, and keys of the same names in the 32-bit view are left as they were.
TEST_F(RegistryRun, MachineKeysAreReachedInTheSixtyFourBitView) {
    for (REGSAM view : {kView64, kView32}) {
        SetString(HKEY_LOCAL_MACHINE, machine_, "Old", "x", view);
        CreateKey(HKEY_LOCAL_MACHINE, machine_ + "\\Single", view);
        CreateKey(HKEY_LOCAL_MACHINE, machine_ + "\\Tree\\Below", view);
    }
    CreateKey(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded");
    ASSERT_TRUE(SetAccessList(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded", "D:P(A;;KA;;;WD)(A;;KR;;;BU)(A;;KA;;;SY)"));
    const std::vector<BYTE> guarded = AccessList(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded");
    ASSERT_FALSE(guarded.empty());

    auto texts = Run(Ini({"[CommandsList]", "3,Add", "4,Remove", "12,Single", "14,Actions",
                          "[Add]", "RegHive=HKEY_LOCAL_MACHINE", "RegKey=" + machine_, "RegValue=Added", "RegData=1",
                          "[Remove]", "RegHive=HKEY_LOCAL_MACHINE", "RegKey=" + machine_, "RegValue=Old",
                          "[Single]", "RegHive=HKEY_LOCAL_MACHINE", "RegKey=" + machine_ + "\\Single",
                          "[Actions]", "1,HKLM," + machine_ + "\\Guarded,Listed,0,y",
                          "2,HKLM," + machine_ + "\\Tree,,0,", "4,HKLM," + machine_ + ",IfThere,0,z"}));

    EXPECT_EQ(Bytes("1", true), ReadValue(HKEY_LOCAL_MACHINE, machine_, "Added").bytes);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, machine_, "Old").found);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machine_ + "\\Single"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machine_ + "\\Tree"));
    EXPECT_EQ(Bytes("y", true), ReadValue(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded", "Listed").bytes);
    EXPECT_EQ(guarded, AccessList(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded"));
    EXPECT_EQ(Bytes("z", true), ReadValue(HKEY_LOCAL_MACHINE, machine_, "IfThere").bytes);

    for (const char *name : {"Added", "IfThere"})
        EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, machine_, name, kView32).found) << name;
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, machine_, "Old", kView32).found);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, machine_ + "\\Single", kView32));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, machine_ + "\\Tree\\Below", kView32));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, machine_ + "\\Guarded", kView32));
    EXPECT_EQ(-1, FindPrefix(texts, "ERROR"));
}

}  // namespace
