// Copy, delete, make, rename and the Startup-folder links against real trees in
// the prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class FileCommands : public ScriptRun {
protected:
    std::string P(const std::string &relative) { return folder_ + "\\" + relative; }
    void MakeFolder(const std::string &relative) { CreateDirectoryA(P(relative).c_str(), nullptr); }
    void Put(const std::string &relative, const std::string &content) { WriteFile(P(relative), content); }
    // A small tree: src\a.txt, src\sub\b.txt, src\sub\deeper\c.txt
    void MakeTree(const std::string &root) {
        MakeFolder(root);
        MakeFolder(root + "\\sub");
        MakeFolder(root + "\\sub\\deeper");
        Put(root + "\\a.txt", "A");
        Put(root + "\\sub\\b.txt", "B");
        Put(root + "\\sub\\deeper\\c.txt", "C");
    }
};

TEST_F(FileCommands, ListCopyIntoAnExistingFolderUnderItsOwnName) {
    MakeFolder("dest");
    Put("a.txt", "new");
    Put("dest\\a.txt", "old");
    WriteScript(Ini({"[CommandsList]", "15,Files", "[Files]", P("a.txt") + ", " + P("dest\\") + " ; into dest"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("new", ReadFile(P("dest\\a.txt")));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- CMD15_CopyFile() -  removing trailing \\ from destination"));
    EXPECT_TRUE(ContainsText(texts, "    Copying " + P("a.txt") + " to " + P("dest\\a.txt")));
}

TEST_F(FileCommands, ListCopyExpandsVariablesInTheSource) {
    MakeFolder("dest");
    Put("v.txt", "variable");
    WriteScript(Ini({"[CommandsList]", "15,Files", "[Files]", "~%V001\\v.txt," + P("dest"), "[Variables]",
                     "V001=" + folder_}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("variable", ReadFile(P("dest\\v.txt")));
}

TEST_F(FileCommands, FailedCopyStopsTheListButAMissingSourceDoesNot) {
    Put("one.txt", "1");
    Put("three.txt", "3");
    WriteScript(Ini({"[CommandsList]", "15,Failing", "15,Missing", "[Failing]", P("one.txt") + "," + P("one.out"),
                     P("one.txt") + "," + P("no\\such\\folder.out"), P("three.txt") + "," + P("three.out"),
                     "[Missing]", P("one.txt") + "," + P("one2.out"), P("absent.txt") + "," + P("absent.out"),
                     P("three.txt") + "," + P("three2.out")}));
    ASSERT_EQ(0, Run());
    EXPECT_TRUE(Exists(P("one.out")));
    EXPECT_FALSE(Exists(P("three.out"))) << "the list stops at the failed copy";
    EXPECT_TRUE(Exists(P("one2.out")));
    EXPECT_TRUE(Exists(P("three2.out"))) << "a missing source only skips its line";
    EXPECT_TRUE(ContainsText(Texts(), "CMD15_CopyFile() -  Invalid Parameters : SourceFile (" + P("absent.txt") +
                                          ") does not Exist "));
}

TEST_F(FileCommands, TreeCopyIntoAnExistingFolder) {
    MakeTree("src");
    MakeFolder("copy");
    MakeFolder("copy\\sub");  // an existing subfolder raises no message
    WriteScript(Ini({"[CommandsList]", "15,Tree", "[Tree]", P("src") + "," + P("copy")}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("A", ReadFile(P("copy\\a.txt")));
    EXPECT_EQ("B", ReadFile(P("copy\\sub\\b.txt")));
    EXPECT_EQ("C", ReadFile(P("copy\\sub\\deeper\\c.txt")));
    for (const std::string &text : Texts()) EXPECT_EQ(std::string::npos, text.find("Error=")) << text;
}

TEST_F(FileCommands, TreeCopyIntoAMissingFolderCreatesNothing) {
    MakeTree("src");
    WriteScript(Ini({"[CommandsList]", "15,Tree", "32,went on", "[Tree]", P("src") + "," + P("nowhere")}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(Exists(P("nowhere")));
    std::vector<std::string> texts = Texts();
    int failures = 0;
    for (const std::string &text : texts)
        if (text.rfind("SBCopyFile -  Error=", 0) == 0) ++failures;
    EXPECT_EQ(3, failures) << "every file copy fails";
    EXPECT_TRUE(ContainsText(texts, " went on"));
}

TEST_F(FileCommands, SingleCopyDoesNotAddTheFileName) {
    MakeFolder("dest");
    Put("s.txt", "s");
    WriteScript(Ini({"[CommandsList]", "15,," + P("s.txt") + "," + P("dest"), "15,," + P("s.txt") + "," +
                                                                                 P("single.txt")}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(Exists(P("dest\\s.txt")));
    EXPECT_EQ("s", ReadFile(P("single.txt")));
    std::vector<std::string> texts = Texts();
    bool failed = false;
    for (const std::string &text : texts)
        if (text.rfind("CMD15_CopyFile() -  Error=", 0) == 0) failed = true;
    EXPECT_TRUE(failed);
}

TEST_F(FileCommands, CopyListLinesThatAreNotCopies) {
    Put("x1.txt", "x");
    WriteScript(Ini({"[CommandsList]", "15,Odd", "[Odd]", ";old," + P("new.txt"), ";note", "nocomma", P("*.txt") + "," +
                     P("w"), P("x?.txt") + "," + P("q.txt"), "," + P("d.txt"), P("x1.txt") + ",  ; only a comment"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    // Wine's profile reader drops lines that start with ';' from a section, so
    // ";note" never reaches the command here; Windows hands it over and the
    // missing-comma warning follows.
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- CMD15_CopyFile() -   Missing comma >nocomma<"));
    EXPECT_TRUE(ContainsText(texts, "NOTICE: Wild Cards not supported yet."));
    EXPECT_TRUE(ContainsText(texts, "CMD15_CopyFile() -  Invalid Parameters : SourceFile (" + P("x?.txt") +
                                        ") does not Exist "));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- CMD15_CopyFile() -  Invalid Parameters : Source Missing"));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- CMD15_CopyFile() -  Invalid Parameters : Destination Missing"));
    for (const std::string &text : texts) EXPECT_EQ(std::string::npos, text.find("old")) << text;
}

TEST_F(FileCommands, MissingListSectionsAreReported) {
    WriteScript(Ini({"[CommandsList]", "15,NoSuch", "16,NoSuch", "21,NoSuch", "31,NoSuch"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(2, static_cast<int>(
                     std::count(texts.begin(), texts.end(), "ERROR-=- Missing the Data section or need an extra comma")));
    EXPECT_TRUE(ContainsText(texts, "ERROR-=- Missing the Data section"));
    EXPECT_TRUE(ContainsText(texts, "ERROR-=- Missing the Data section or an extra comma."));
}

TEST_F(FileCommands, DeleteReadOnlyTreeDeepestFirst) {
    MakeTree("victim");
    SetFileAttributesA(P("victim\\sub\\deeper\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(P("victim\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Put("lonely.txt", "ro");
    SetFileAttributesA(P("lonely.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteScript(Ini({"[CommandsList]", "16,," + P("victim"), "16,Paths", "[Paths]", P("lonely.txt"),
                     P("absent.txt"), P("*.txt"), ";" + P("x")}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(Exists(P("victim")));
    EXPECT_FALSE(Exists(P("lonely.txt")));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "   ...deleting directory >" + P("victim") + "<"));
    int deeper = FindText(texts, "  Deleting... >" + P("victim\\sub\\deeper\\c.txt") + "<");
    int shallow = FindText(texts, "  Deleting... >" + P("victim\\a.txt") + "<");
    EXPECT_GE(deeper, 0);
    EXPECT_GE(shallow, 0);
    EXPECT_TRUE(ContainsText(texts, "WARNING-=- Cannot find >" + P("absent.txt") + "< to delete"));
    EXPECT_TRUE(ContainsText(texts, "NOTICE: Wild Card syntax not supported"));
}

TEST_F(FileCommands, LinkedFoldersAreNeverFollowed) {
    MakeTree("elsewhere");
    MakeTree("tree");
    MakeFolder("copy");
    const std::vector<std::string> links = {P("link"), P("link2"), P("tree\\sub\\loop")};
    struct Unlink {
        const std::vector<std::string> &links;
        ~Unlink() {
            for (const std::string &link : links) RemoveFolderLink(link);
        }
    } unlink{links};
    if (!MakeFolderLink(links[0], P("elsewhere")) || !MakeFolderLink(links[1], P("elsewhere")) ||
        !MakeFolderLink(links[2], P("tree")))
        GTEST_SKIP() << "no folder link can be made here";
    WriteScript(Ini({"[CommandsList]", "15,Copies", "16,," + links[0], "29,Leftovers", "[Copies]",
                     P("tree") + "," + P("copy"), "[Leftovers]", links[1]}));
    ASSERT_EQ(0, Run("-silent -noreboot"));

    // Removing a link (16, and 29 through it) never empties what it stands for.
    for (const char *kept : {"elsewhere\\a.txt", "elsewhere\\sub\\b.txt", "elsewhere\\sub\\deeper\\c.txt"})
        EXPECT_TRUE(Exists(P(kept))) << kept;
    // The tree copy passes over the link that leads back into the tree.
    EXPECT_EQ("B", ReadFile(P("copy\\sub\\b.txt")));
    EXPECT_EQ("C", ReadFile(P("copy\\sub\\deeper\\c.txt")));
    EXPECT_FALSE(Exists(P("copy\\sub\\loop")));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "NOTICE: linked folder not followed >" + links[2] + "<"));
    EXPECT_TRUE(ContainsText(texts, "  Removing link... >" + links[0] + "<"));
    EXPECT_TRUE(ContainsText(texts, "  Removing link... >" + links[1] + "<"));
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(FileCommands, MakeDirStopsAtAnExistingFolder) {
    MakeFolder("exists");
    WriteScript(Ini({"[CommandsList]", "21,Dirs", "21,," + P("no\\parent"), "21,," + P("single"), "[Dirs]",
                     P("first"), P("exists"), P("third")}));
    ASSERT_EQ(0, Run());
    EXPECT_TRUE(Exists(P("first")));
    EXPECT_FALSE(Exists(P("third")));
    EXPECT_FALSE(Exists(P("no")));
    EXPECT_TRUE(Exists(P("single")));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "WARNING-=- function MakeDirectory () failed on src=" + P("exists")));
    EXPECT_TRUE(ContainsText(texts, "WARNING-=- function MakeDirectory () failed on src=" + P("no\\parent")));
}

TEST_F(FileCommands, RenameNeverReplacesAndTheListGoesOn) {
    Put("a.txt", "a");
    Put("b.txt", "b");
    Put("c.txt", "c");
    MakeFolder("folder");
    WriteScript(Ini({"[CommandsList]", "31,," + P("a.txt") + "," + P("b.txt"), "31,Renames", "[Renames]",
                     P("a.txt") + "," + P("b.txt"), P("c.txt") + "," + P("d.txt\\"), P("folder") + "," + P("moved"),
                     ";skip," + P("z"), "nocomma"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("a", ReadFile(P("a.txt")));
    EXPECT_EQ("b", ReadFile(P("b.txt")));
    EXPECT_EQ("c", ReadFile(P("d.txt")));
    EXPECT_TRUE(Exists(P("moved")));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(2, static_cast<int>(std::count(texts.begin(), texts.end(),
                                             "WARNING-=- function rename() failed on src=" + P("a.txt") +
                                                 ", dst=" + P("b.txt"))));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Removing trailing \\ from destination >" + P("d.txt") + "<"));
    EXPECT_TRUE(ContainsText(texts, "   renamed " + P("c.txt") + " to " + P("d.txt")));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Missing comma >nocomma<"));
}

TEST_F(FileCommands, StartupLinksUseTheLanguageSection) {
    MakeFolder("startup");
    Put("app.lnk", "shortcut");
    WriteScript(Ini({"[CommandsList]", "1,Link", "2,Unlink", "2,Unlink", "[Link]", "AddLinkFile=" + P("app.lnk"),
                     "[Unlink]", "DeleteLinkFile=app.lnk", "[Data.XX]", "CommonStartupFolder=" + P("startup\\")}));
    const std::string hardwareFile = "C:\\system.sav\\util\\mira.ini";
    if (Exists(hardwareFile) && !ProfileString(hardwareFile, "Description", "NorvikLanguage", "XX").empty() &&
        ProfileString(hardwareFile, "Description", "NorvikLanguage", "XX") != "XX")
        GTEST_SKIP() << "the hardware information file names a language";
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "... CopyFile(" + P("app.lnk") + "," + P("startup\\app.lnk") + ")"));
    EXPECT_TRUE(ContainsText(texts, "... DeleteFile(" + P("startup\\app.lnk") + ")"));
    EXPECT_FALSE(Exists(P("startup\\app.lnk")));
    int failures = 0;
    for (const std::string &text : texts)
        if (text.rfind("FAIL - Failure with DeleteFile( ) 2 - ", 0) == 0) ++failures;
    EXPECT_EQ(1, failures) << "the second delete finds nothing";
}

TEST_F(FileCommands, OverlongJoinedPathIsRefusedNotCut) {
    std::string deep = folder_;
    // A folder whose children's paths no longer fit 259 characters.
    while (deep.size() < 230) {
        deep += "\\dddddddddd";
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    WriteFile(deep + "\\" + std::string(40, 'f') + ".txt", "x");
    MakeFolder("target");
    WriteScript(Ini({"[CommandsList]", "16,," + folder_ + "\\dddddddddd", "32,still running"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    bool refused = false;
    for (const std::string &text : texts)
        if (text.find("is longer than 259 characters, skipped") != std::string::npos) refused = true;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(ContainsText(texts, " still running"));
}

}  // namespace
