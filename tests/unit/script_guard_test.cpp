#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/text_rules.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(SavedStateRecord, RoundTripsAndRefusesWhatIsNotAWholeRecord) {
    char bytes[kSavedStateRecordSize];
    SavedStateRecord written;
    written.sequence = 0xfffffffe;
    written.slot = 1;
    written.hasCursor = true;
    written.cursor = -2147483647 - 1;
    written.slotSize = 0xffffffff;
    written.slotSum = 0x0badf00d;
    ASSERT_TRUE(FormatSavedStateRecord(written, bytes));
    SavedStateRecord read;
    ASSERT_TRUE(ParseSavedStateRecord(bytes, sizeof bytes, read));
    EXPECT_EQ(0xfffffffeu, read.sequence);
    EXPECT_EQ(1, read.slot);
    EXPECT_TRUE(read.hasCursor);
    EXPECT_EQ(-2147483647 - 1, read.cursor);
    EXPECT_EQ(0xffffffffu, read.slotSize);
    EXPECT_EQ(0x0badf00du, read.slotSum);

    // Cut, zero-filled or changed in any byte: not a record.
    EXPECT_FALSE(ParseSavedStateRecord(bytes, sizeof bytes - 1, read));
    EXPECT_FALSE(ParseSavedStateRecord(std::string(sizeof bytes, '\0').c_str(), sizeof bytes, read));
    for (size_t i = 0; i < sizeof bytes; ++i) {
        std::string changed(bytes, sizeof bytes);
        changed[i] ^= 0x04;
        EXPECT_FALSE(ParseSavedStateRecord(changed.c_str(), changed.size(), read)) << "byte " << i;
    }
    written.slot = 2;
    EXPECT_FALSE(FormatSavedStateRecord(written, bytes));
}

TEST(SavedStateRecord, NewestWholeRecordCountsAcrossTheSequenceWrap) {
    char journal[kJournalPlaceDistance + kSavedStateRecordSize] = {};
    SavedStateRecord record;
    record.sequence = 0xffffffff;  // place 0, older
    record.slot = 0;
    ASSERT_TRUE(FormatSavedStateRecord(record, *reinterpret_cast<char(*)[kSavedStateRecordSize]>(journal)));
    record.sequence = 0;  // place 1, one newer
    record.slot = 1;
    record.hasCursor = true;
    record.cursor = 7;
    ASSERT_TRUE(FormatSavedStateRecord(
        record, *reinterpret_cast<char(*)[kSavedStateRecordSize]>(journal + kJournalPlaceDistance)));
    JournalReading reading;
    ASSERT_TRUE(ReadJournalRecords(journal, sizeof journal, reading));
    EXPECT_EQ(1, reading.place);
    EXPECT_EQ(7, reading.newest.cursor);
    EXPECT_EQ(0, reading.olderSlot);

    journal[kJournalPlaceDistance + 20] ^= 1;  // the newest cut off: the older counts
    ASSERT_TRUE(ReadJournalRecords(journal, sizeof journal, reading));
    EXPECT_EQ(0, reading.place);
    EXPECT_FALSE(reading.newest.hasCursor);
    EXPECT_EQ(-1, reading.olderSlot);
    EXPECT_FALSE(ReadJournalRecords(journal + kJournalPlaceDistance, kSavedStateRecordSize, reading));
}

class ScriptGuard : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit-guard");
        copy_ = folder_ + "\\script.ini";
        ForgetSavedState(copy_.c_str());
        text::Copy(g_run.scriptFile, copy_.c_str());
        WriteFile(copy_, "[CommandsList]\r\n33\r\n[Commands]\r\nCurrentCmd=4\r\n");
    }
    void TearDown() override {
        ForgetSavedState(copy_.c_str());
        ResetRunState();
    }
    std::string Cursor() const { return ProfileString(copy_, "Commands", "CurrentCmd"); }
    // The newest record of the journal on disk.
    SavedStateRecord Journal() const {
        std::string bytes = ReadFile(CursorJournalPath(copy_.c_str()));
        JournalReading reading;
        EXPECT_TRUE(ReadJournalRecords(bytes.data(), bytes.size(), reading));
        return reading.newest;
    }
    std::string folder_, copy_;
};

TEST_F(ScriptGuard, CursorIsRecordedBeforeTheFileAndRestoredIntoTheSavedCopy) {
    SaveWholeState();
    EXPECT_EQ(0, Journal().slot);
    EXPECT_FALSE(Journal().hasCursor);
    const std::string saved = ReadFile(SavedStatePath(copy_.c_str(), 0));
    EXPECT_EQ(ReadFile(copy_), saved);

    g_run.commandCursor = 9;
    SaveCommandCursor();
    EXPECT_EQ(0, Journal().slot);
    EXPECT_EQ(9, Journal().cursor);
    EXPECT_EQ("9", Cursor());
    EXPECT_EQ(saved, ReadFile(SavedStatePath(copy_.c_str(), 0))) << "a cursor alone never copies the file";

    WriteFile(copy_, "[Comma");  // what a write cut off by a kill leaves
    ASSERT_EQ(RestoreResult::Restored, RestoreSavedState(copy_.c_str()));
    EXPECT_TRUE(ProfileSectionExists(copy_, "CommandsList"));
    EXPECT_EQ("9", Cursor());
}

TEST_F(ScriptGuard, WholeSaveNeverOverwritesTheSlotTheJournalNames) {
    SaveWholeState();
    WritePrivateProfileStringA("Variables", "V1", "one", copy_.c_str());
    g_run.commandCursor = 5;
    SaveCommandCursor(true);  // a command that wrote the script
    EXPECT_EQ(1, Journal().slot);
    EXPECT_FALSE(Journal().hasCursor);
    EXPECT_EQ("one", ProfileString(SavedStatePath(copy_.c_str(), 1), "Variables", "V1"));
    EXPECT_EQ("5", ProfileString(SavedStatePath(copy_.c_str(), 1), "Commands", "CurrentCmd"));

    // The next whole save is cut off while copying into the free slot: the journal
    // still names the whole one.
    WriteFile(SavedStatePath(copy_.c_str(), 0), "[Vari");
    WriteFile(copy_, "");
    ASSERT_EQ(RestoreResult::Restored, RestoreSavedState(copy_.c_str()));
    EXPECT_EQ("one", ProfileString(copy_, "Variables", "V1"));
    EXPECT_EQ("5", Cursor());
}

TEST_F(ScriptGuard, UnreadableJournalLeavesTheFileAsItStandsAndSaysSo) {
    std::string log = folder_ + "\\guard.log";
    ASSERT_TRUE(SetInstallLogPath(log.c_str()));
    g_run.logging = true;
    SaveWholeState();
    std::string before = ReadFile(copy_);
    ForgetSavedState(copy_.c_str());
    // Zero-filled by a power cut before its first record: the file stands, silently.
    WriteFile(CursorJournalPath(copy_.c_str()), std::string(96, '\0'));
    EXPECT_EQ(RestoreResult::NothingSaved, RestoreSavedState(copy_.c_str()));
    EXPECT_TRUE(LogTexts(log).empty());
    WriteFile(CursorJournalPath(copy_.c_str()), "seq=0000");  // what no record of ours can be
    EXPECT_EQ(RestoreResult::Unusable, RestoreSavedState(copy_.c_str()));
    EXPECT_EQ(before, ReadFile(copy_));
    EXPECT_FALSE(Exists(CursorJournalPath(copy_.c_str())));
    EXPECT_FALSE(Exists(SavedStatePath(copy_.c_str(), 0)));
    EXPECT_TRUE(ContainsText(LogTexts(log), "ERROR-=- " + copy_ +
                                                " was cut off and its saved state cannot be restored; it is used "
                                                "as it stands"));
    SetInstallLogPath(kDefaultLogPath);
}

TEST_F(ScriptGuard, NothingIsKeptForAForgottenOrDeletedScript) {
    EXPECT_EQ(RestoreResult::NothingSaved, RestoreSavedState(copy_.c_str())) << "nothing was saved";
    SaveWholeState();
    SaveWholeState();
    ForgetSavedState(copy_.c_str());
    for (const std::string &left :
         {CursorJournalPath(copy_.c_str()), SavedStatePath(copy_.c_str(), 0), SavedStatePath(copy_.c_str(), 1)})
        EXPECT_FALSE(Exists(left)) << left;

    SaveWholeState();
    DeleteFileA(copy_.c_str());  // exit and delete the script
    SaveWholeState();
    EXPECT_FALSE(Exists(CursorJournalPath(copy_.c_str())));
    EXPECT_FALSE(Exists(SavedStatePath(copy_.c_str(), 0)));
}

TEST_F(ScriptGuard, WholeReplacementOverAReadOnlyFile) {
    std::string source = folder_ + "\\source.ini";
    WriteFile(source, "[New]\r\n");
    SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(ReplaceFileWhole(source.c_str(), copy_.c_str()));
    EXPECT_EQ("[New]\r\n", ReadFile(copy_));
    EXPECT_FALSE(Exists(copy_ + ".knew"));
    EXPECT_FALSE(ReplaceFileWhole((folder_ + "\\absent.ini").c_str(), copy_.c_str()));
    EXPECT_EQ("[New]\r\n", ReadFile(copy_));
}

}  // namespace

namespace {

// The file as the profile functions read it, section by section (first of each name).
std::vector<ProfileSectionLines> HeldByProfileFunctions(const std::string &file) {
    std::vector<ProfileSectionLines> held;
    char names[4096];
    GetPrivateProfileSectionNamesA(names, sizeof names, file.c_str());
    for (const char *name = names; *name; name += strlen(name) + 1) {
        bool seen = false;
        for (const ProfileSectionLines &earlier : held) seen = seen || _stricmp(earlier.name.c_str(), name) == 0;
        if (seen) continue;
        ProfileSectionLines section{name, {}};
        char lines[4096];
        GetPrivateProfileSectionA(name, lines, sizeof lines, file.c_str());
        for (const char *line = lines; *line; line += strlen(line) + 1) section.entries.push_back(line);
        held.push_back(section);
    }
    return held;
}

std::string Described(const std::vector<ProfileSectionLines> &sections) {
    std::string out;
    for (const ProfileSectionLines &section : sections) {
        out += "[" + section.name + "]";
        for (const std::string &entry : section.entries) out += " <" + entry + ">";
        out += "\n";
    }
    return out;
}

// The check that tells a working copy cut short from a whole one reads a file as
// the profile functions do: a difference on a whole file would stop a good run.
TEST(ProfileText, ReadsAFileAsTheProfileFunctionsDo) {
    const std::string folder = FreshFolder("unit-profile-text"), file = folder + "\\odd.ini";
    const std::string odd =
        "stray=before any section\r\n[Data]\r\n  Logging = 1 \r\n; a comment\r\n\r\nLogFile=C:\\x.log\r\n"
        "[CommandsList]\r\n32,hello = there\r\n33\r\n=no key\r\n[bad header\r\n[data]\r\nLater=1\r\n"
        "[ Spaced ]\r\nk=\"quoted\"\r\n[Empty]\r\n[Last]\nk2=v2";
    for (bool written : {false, true}) {
        WriteFile(file, odd);
        // Once as the user wrote it, once as the profile functions write it back.
        if (written) WritePrivateProfileStringA("Last", "k3", "v3", file.c_str());
        std::string bytes = ReadFile(file);
        EXPECT_EQ(Described(HeldByProfileFunctions(file)), Described(ReadProfileText(bytes.data(), bytes.size())))
            << (written ? "rewritten" : "as written") << "\n" << bytes;
    }
    std::string bytes = ReadFile(file);
    bytes.resize(bytes.size() - 4);  // cut short
    EXPECT_NE(Described(HeldByProfileFunctions(file)), Described(ReadProfileText(bytes.data(), bytes.size())));
}

}  // namespace
