// Mistakes a new author makes and the run does not report: text written as a
// DWORD, a jump that a later one voids, comments in action lines, misspelt
// section names.
#include <gtest/gtest.h>

#include "checker_test_support.h"

using namespace checker_test;

namespace {

TEST(SharperChecks, CommandThreeWritesTheTextsCharactersAsBinaryOrDword) {
    Checked checked = Check({"[CommandsList]", "3,Number", "4,Number", "3,Text", "[Number]", "RegHive=HKEY_CURRENT_USER",
                             "RegKey=Software\\K", "RegValue=Count", "RegData=3", "RegDataType=2", "[Text]",
                             "RegHive=HKEY_CURRENT_USER", "RegKey=Software\\K", "RegValue=Name", "RegData=3"});
    EXPECT_TRUE(checked.Has(10, kWarning, "command 3 writes the characters of RegData '3' as the 1 byte of the value"))
        << checked.Dump();
    EXPECT_EQ(1u, checked.Count(kWarning)) << checked.Dump();  // 4 deletes; a string is what 3 writes well
    EXPECT_TRUE(Check({"[CommandsList]", "3,B", "[B]", "RegHive=HKEY_CURRENT_USER", "RegKey=Software\\K",
                       "RegValue=Raw", "RegData=0A0B", "RegDataType=1"})
                    .Has(8, kWarning, "as the 4 bytes of the value, not hexadecimal digit pairs"));
}

TEST(SharperChecks, AJumpThatALaterOneReplacesBeforeTheSectionEnds) {
    Checked checked = Check({"[CommandsList]", "19,A", "32,between", "25,Ids,A,B", "19,B", "0", "19,A",
                             "[A]", "19,B", "18,A,,,,,,", "17,Ask,1,A", "19,A", "17,Ask,3,A,B",
                             "[B]", "33", "[Ids]", "0x0A7C", "[Ask.US]", "Message1=?"});
    EXPECT_TRUE(checked.Has(2, kWarning, "the next section it names is replaced by line 4 (CMD25_BranchOnSystemID)"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(4, kWarning, "replaced by line 5 (CMD19_JumpToNextSection)")) << checked.Dump();
    EXPECT_FALSE(checked.Has(5, kWarning)) << checked.Dump();  // a 0 ends the section before line 7
    // A branch with an empty outcome leaves the earlier choice for that outcome;
    // a box that asks nothing chooses nothing; a question always chooses.
    EXPECT_FALSE(checked.Has(9, kWarning, "replaced")) << checked.Dump();
    EXPECT_TRUE(checked.Has(10, kWarning, "replaced by line 12 (CMD19_JumpToNextSection)")) << checked.Dump();
    EXPECT_FALSE(checked.Has(11, kWarning, "replaced")) << checked.Dump();
    EXPECT_TRUE(checked.Has(12, kWarning, "replaced by line 13 (CMD17_DisplayMessageBox)")) << checked.Dump();
}

TEST(SharperChecks, ASemicolonInAnActionLineIsData) {
    Checked checked = Check({"[CommandsList]", "14,Acts", "[Acts]", "1,HKCU,Software\\K,Name,0,Hello ; greeting",
                             "1,HKCU,Software\\K;old,Name,0,x", "1,HKCU,Software\\K,Name,0,plain"});
    EXPECT_TRUE(checked.Has(4, kWarning, "field 6 'Hello ; greeting' holds a ';'")) << checked.Dump();
    EXPECT_TRUE(checked.Has(4, kWarning, "part of the data")) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kWarning, "field 3 'Software\\K;old' holds a ';'")) << checked.Dump();
    EXPECT_FALSE(checked.Has(6, kWarning)) << checked.Dump();
}

TEST(SharperChecks, AMisspeltSectionNameNamesTheNearOne) {
    Checked checked = Check({"[CommandsList]", "19,Cleanup", "15,Payloads", "21,Dir", "[CleanUp2]", "33",
                             "[Payload]", "C:\\a, C:\\b", "[Dirs]", "C:\\x", "[Elsewhere]", "33"});
    EXPECT_TRUE(checked.Has(2, kError, "[Cleanup] does not exist")) << checked.Dump();
    EXPECT_TRUE(checked.Has(2, kError, "did you mean [CleanUp2] (line 5)?")) << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kError, "did you mean [Payload] (line 7)?")) << checked.Dump();
    // Three letters: one letter off is the most that still tells a misspelling.
    EXPECT_TRUE(checked.Has(4, kError, "did you mean [Dirs] (line 9)?")) << checked.Dump();
    EXPECT_FALSE(Check({"[CommandsList]", "19,Far", "[Farther]", "33"}).HasAnywhere(kError, "did you mean"));

    Checked header = Check({"[Data]", "Logging=1", "[CommandList]", "32,a"});
    EXPECT_TRUE(header.Has(3, kError, "no [CommandsList]: [CommandList] here is not its name")) << header.Dump();
    EXPECT_FALSE(header.HasAnywhere(kNote, "never used")) << header.Dump();
}

}  // namespace
