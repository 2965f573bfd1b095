// The argument rules of each command: a script that trips the rule and one that
// does not.
#include <gtest/gtest.h>

#include "checker_test_support.h"

using namespace checker_test;

namespace {

// Every command whose argument 0 names a section that must exist and have lines,
// with the section the command line names.
struct SectionCase {
    const char *line;     // the command line in [CommandsList]
    const char *section;  // the section it needs
    const char *content;  // a line that makes the section good
};

const SectionCase kSectionCases[] = {
    {"1,Link", "Link", "AddLinkFile=C:\\kit\\tool.lnk"},
    {"2,Link", "Link", "DeleteLinkFile=tool.lnk"},
    {"3,Reg", "Reg", "RegHive=HKEY_LOCAL_MACHINE"},
    {"4,Reg", "Reg", "RegHive=HKEY_LOCAL_MACHINE"},
    {"11,Spawn", "Spawn", "Program=C:\\kit\\setup.exe"},
    {"12,Reg", "Reg", "RegHive=HKEY_LOCAL_MACHINE"},
    {"14,Actions", "Actions", "1,HKLM,SOFTWARE\\Kit,Flag,2,1"},
    {"15,Copies", "Copies", "C:\\a.txt,C:\\b.txt"},
    {"16,Deletes", "Deletes", "C:\\old"},
    {"21,Folders", "Folders", "C:\\new"},
    {"26,Values", "Values", "DATA,DecCommand,2"},
    {"27,Vars", "Vars", "V001,C:\\kit"},
    {"31,Renames", "Renames", "C:\\a.txt,C:\\b.txt"},
    {"25,Ids,Yes,No", "Ids", "0x0A7C"},
    {"17,Welcome", "Welcome.US", "Message1=Hello"},
};

TEST(ArgumentSections, AMissingOrEmptySectionIsAnError) {
    for (const SectionCase &c : kSectionCases) {
        SCOPED_TRACE(c.line);
        std::string targets = "[Yes]\r\n32,y\r\n[No]\r\n32,n\r\n";
        Checked missing = CheckText(Script({"[CommandsList]", c.line}) + targets);
        EXPECT_TRUE(missing.Has(2, kError, std::string("[") + c.section + "] does not exist")) << missing.Dump();

        Checked empty = CheckText(Script({"[CommandsList]", c.line, std::string("[") + c.section + "]"}) + targets);
        EXPECT_TRUE(empty.Has(2, kError, std::string("[") + c.section + "] (line 3) has no lines")) << empty.Dump();

        Checked good =
            CheckText(Script({"[CommandsList]", c.line, std::string("[") + c.section + "]", c.content}) + targets);
        EXPECT_EQ(0u, good.Count(kError)) << good.Dump();
        EXPECT_FALSE(good.HasAnywhere(kNote, std::string("[") + c.section + "] is never used")) << good.Dump();
    }
}

TEST(ArgumentSections, ACommandThatAppendsAFileMakesAMissingSectionAWarning) {
    Checked checked = Check({"[CommandsList]", "28,C:\\kit\\more.ini", "15,Copies"});
    EXPECT_EQ(0u, checked.Count(kError)) << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kWarning, "unless the file that command 28 appends brings it")) << checked.Dump();
}

TEST(ArgumentSections, APathInArgumentZeroGetsTheSingleFormHint) {
    Checked checked = Check({"[CommandsList]", "15,C:\\a.txt,C:\\b.txt"});
    EXPECT_TRUE(checked.Has(2, kError, "leave argument 0 empty: 15,,source,destination")) << checked.Dump();
    EXPECT_TRUE(checked.Has(2, kWarning, "arguments after it are ignored")) << checked.Dump();
}

TEST(ArgumentSections, SectionNamesWithTokensAreNotExpanded) {
    Checked checked = Check({"[CommandsList]", "16,~%V001"});
    EXPECT_TRUE(checked.Has(2, kError, "literally named [~%V001]")) << checked.Dump();
}

struct TargetCase {
    const char *line;
    const char *target;
    bool expands;
};

// Every command that names a command section to go on with.
const TargetCase kTargetCases[] = {
    {"19,Next", "Next", true},
    {"9,Next,Other", "Next", false},
    {"18,Next,Other,Other,Other,Other,Other,Other", "Next", false},
    {"25,Ids,Next,Other", "Next", true},
    {"30,Next,Other,Other", "Next", false},
    {"38,Next,Other", "Next", false},
    {"17,Ask,3,Next,Other", "Next", false},
};

TEST(BranchTargets, EveryTargetMustExistWithLines) {
    const std::string support = Script({"[Other]", "32,other", "[Ids]", "0x0A7C", "[Ask.US]", "Message1=Go on?"});
    for (const TargetCase &c : kTargetCases) {
        SCOPED_TRACE(c.line);
        Checked missing = CheckText(Script({"[CommandsList]", c.line}) + support);
        EXPECT_TRUE(missing.Has(2, kError, "[Next] does not exist")) << missing.Dump();

        Checked good = CheckText(Script({"[CommandsList]", c.line, "[Next]", "32,next"}) + support);
        EXPECT_EQ(0u, good.Count(kError)) << good.Dump();
        EXPECT_EQ(0u, good.Count(kWarning)) << good.Dump();
        EXPECT_FALSE(good.HasAnywhere(kNote, "[Next]")) << good.Dump();
    }
}

TEST(BranchTargets, ATokenInATargetIsANoteWhereTheRunExpandsItAndAnErrorElsewhere) {
    const std::string support = Script({"[Other]", "32,other", "[Ids]", "0x0A7C", "[Ask.US]", "Message1=Go on?",
                                        "[Variables]", "V004=Next", "[Next]", "32,next"});
    for (const TargetCase &c : kTargetCases) {
        SCOPED_TRACE(c.line);
        std::string line = c.line;
        line.replace(line.find("Next"), 4, "~%V004");
        Checked checked = CheckText(Script({"[CommandsList]", line}) + support);
        if (c.expands) {
            EXPECT_TRUE(checked.Has(2, kNote, "known only at run time")) << checked.Dump();
            EXPECT_EQ(0u, checked.Count(kError)) << checked.Dump();
        } else {
            EXPECT_TRUE(checked.Has(2, kError, "literally named [~%V004]")) << checked.Dump();
        }
    }
}

TEST(BranchTargets, AnOutcomeWithoutASectionIsAWarning) {
    Checked checked = Check({"[CommandsList]", "18,Other,,,,Other,Other,Other", "[Other]", "32,x"});
    EXPECT_TRUE(checked.Has(2, kWarning,
                            "no section is given for Windows 95 (argument 1), Windows 98 (argument 2), "
                            "Windows NT 4.0 (argument 3):"))
        << checked.Dump();
}

TEST(BranchTargets, ANameLongerThanTheSectionStateHoldsIsCut) {
    std::string name(128, 'N');
    Checked checked = CheckText(Script({"[CommandsList]", "19," + name, "[" + name + "]", "32,x"}));
    EXPECT_TRUE(checked.Has(2, kError, "is 128 characters long: the run reads at most 127")) << checked.Dump();
}

TEST(MessageBox, AnswersOfAQuestionBoxAndTheMessageKeys) {
    Checked checked = Check({"[CommandsList]", "17,Ask,3,,", "17,Info,1,Next", "[Ask.US]", "Message1=Go?",
                             "Message3=never shown", "[Info.US]", "Title=Hello"});
    EXPECT_TRUE(checked.Has(2, kNote, "the answer Yes names no section")) << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kWarning, "box kind 1 asks no question")) << checked.Dump();
    EXPECT_TRUE(checked.Has(6, kWarning, "'Message3' is never shown: the box text stops at Message2"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kWarning, "has no Message1")) << checked.Dump();
}

TEST(ListLines, MultiRegEditLinesNeedSixFields) {
    Checked bad = Check({"[CommandsList]", "14,Actions", "[Actions]", "1,HKLM,SOFTWARE\\Kit,Flag,2", "2,HKCU,x,,0,"});
    EXPECT_TRUE(bad.Has(4, kError,
                        "\"NOTICE:Data not defined in line ->\" and stops the command here, so it does not "
                        "carry out the 1 line after it"))
        << bad.Dump();
    Checked good = Check({"[CommandsList]", "14,Actions", "[Actions]", "1,HKLM,SOFTWARE\\Kit,Flag,2,0000000F",
                          "2,HKCU,Software\\Old,,0,"});
    EXPECT_EQ(0u, good.findings.size()) << good.Dump();
}

TEST(ListLines, MultiRegEditFieldsAreChecked) {
    Checked checked = Check({"[CommandsList]", "14,Actions", "[Actions]", "5,HKLM,SOFTWARE\\Kit,Flag,2,1",
                             "1,HKEY_LOCAL_MACHINE,SOFTWARE\\Kit,Flag,2,1", "1,HKLM,SOFTWARE\\Kit,Bin,1,ABC",
                             "1,HKLM,SOFTWARE\\Kit,Num,2,12G"});
    EXPECT_TRUE(checked.Has(4, kError, "\"ERROR:undefined action ->\"")) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kWarning, "the run works on HKEY_LOCAL_MACHINE")) << checked.Dump();
    EXPECT_TRUE(checked.Has(6, kWarning, "odd number of digits")) << checked.Dump();
    EXPECT_TRUE(checked.Has(7, kWarning, "other than hexadecimal digits")) << checked.Dump();
}

TEST(ListLines, PairLinesOfCopyAndRenameNeedAComma) {
    for (const char *command : {"15", "31"}) {
        SCOPED_TRACE(command);
        Checked bad = Check({"[CommandsList]", std::string(command) + ",Pairs", "[Pairs]", "C:\\a.txt C:\\b.txt",
                             ",C:\\b.txt", "C:\\a.txt, ; only a comment"});
        EXPECT_TRUE(bad.Has(4, kError, "no comma between source and destination")) << bad.Dump();
        EXPECT_TRUE(bad.Has(5, kError, "the source is missing")) << bad.Dump();
        EXPECT_TRUE(bad.Has(6, kError, "the destination is missing")) << bad.Dump();
        Checked good = Check({"[CommandsList]", std::string(command) + ",Pairs", "[Pairs]",
                              "C:\\a.txt, C:\\b.txt ; a comment after the destination is cut"});
        EXPECT_EQ(0u, good.findings.size()) << good.Dump();
    }
}

TEST(ListLines, WildcardsAreNotSupported) {
    Checked checked = Check({"[CommandsList]", "15,Copies", "16,Deletes", "31,Renames", "[Copies]", "C:\\*.txt,C:\\d",
                             "C:\\x?.txt,C:\\d", "[Deletes]", "C:\\temp\\*.tmp", "[Renames]", "C:\\*.log,C:\\old"});
    EXPECT_TRUE(checked.Has(6, kError, "wildcards are not supported")) << checked.Dump();
    EXPECT_TRUE(checked.Has(7, kWarning, "'?' is no wildcard here")) << checked.Dump();
    EXPECT_TRUE(checked.Has(9, kError, "\"Wild Card syntax not supported\"")) << checked.Dump();
    EXPECT_TRUE(checked.Has(11, kError, "wildcards are not supported")) << checked.Dump();
}

TEST(ListLines, ASemicolonInADeleteOrMakeDirListIsPartOfThePath) {
    for (const char *command : {"16", "21"}) {
        SCOPED_TRACE(command);
        Checked bad = Check({"[CommandsList]", std::string(command) + ",Paths", "[Paths]", "C:\\old ; not a comment"});
        EXPECT_TRUE(bad.Has(4, kWarning, "the path is 'C:\\old ; not a comment'")) << bad.Dump();
        Checked good = Check({"[CommandsList]", std::string(command) + ",Paths", "[Paths]", "C:\\old",
                              "; a whole-line comment is dropped by the reader"});
        EXPECT_EQ(0u, good.findings.size()) << good.Dump();
    }
}

TEST(ListLines, SetValueLinesNeedTwoCommasAndSetVariableLinesOne) {
    Checked bad = Check({"[CommandsList]", "26,Values", "27,Vars", "[Values]", "DATA,OnlyKey", ",Key,Value",
                         "Sect,,Value", "[Vars]", "V001", ",value"});
    EXPECT_TRUE(bad.Has(5, kError, "two commas")) << bad.Dump();
    EXPECT_TRUE(bad.Has(6, kError, "the section is empty")) << bad.Dump();
    EXPECT_TRUE(bad.Has(7, kError, "the key is empty")) << bad.Dump();
    EXPECT_TRUE(bad.Has(9, kError, "name,value")) << bad.Dump();
    EXPECT_TRUE(bad.Has(10, kError, "the variable name is empty")) << bad.Dump();
    Checked good = Check({"[CommandsList]", "26,Values", "27,Vars", "16,,~%V001\\old", "[Values]",
                          "MySection , Key1 , some value, with comma", "[Vars]", "V001,C:\\kit"});
    EXPECT_EQ(0u, good.findings.size()) << good.Dump();
}

TEST(SingleForms, EmptyOperandsAreErrors) {
    Checked bad =
        Check({"[CommandsList]", "15,,C:\\a.txt", "16,,", "21", "31,,,C:\\b", "11,,", "26,,DATA", "27,,", "28"});
    for (int line = 2; line <= 9; ++line) EXPECT_TRUE(bad.Has(line, kError, "empty")) << line << "\n" << bad.Dump();
    Checked good =
        Check({"[CommandsList]", "15,,C:\\a.txt,C:\\b.txt", "16,,C:\\old", "21,,C:\\new", "31,,C:\\a,C:\\b",
               "11,,C:\\kit\\setup.exe /s,TRUE", "26,,DATA,DecCommand,2", "27,,V001,C:\\kit", "28,C:\\kit\\more.ini"});
    EXPECT_EQ(0u, good.findings.size()) << good.Dump();
}

TEST(SingleForms, OperandsLongerThanTheirBuffersAreCut) {
    std::string path(300, 'p');
    Checked checked = Check({"[CommandsList]", "16,," + path, "21,," + std::string(256, 'd'),
                             "15,,C:\\a," + std::string(511, 'd'), "15,,C:\\a," + std::string(512, 'd')});
    EXPECT_TRUE(checked.Has(2, kError, "is 300 characters long: the run reads at most 259")) << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kError, "is 256 characters long: the run reads at most 255")) << checked.Dump();
    EXPECT_FALSE(checked.Has(4, kError)) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kError, "at most 511")) << checked.Dump();
}

TEST(SingleForms, ArgumentZeroHoldsAtMost255Characters) {
    Checked checked = Check({"[CommandsList]", "32," + std::string(256, 'm'), "32," + std::string(255, 'm')});
    EXPECT_TRUE(checked.Has(2, kError, "argument 0 is 256 characters long")) << checked.Dump();
    EXPECT_FALSE(checked.Has(3, kError)) << checked.Dump();
}

TEST(KeySections, LinkAndRegistrySectionsAreCheckedKeyByKey) {
    Checked checked =
        Check({"[CommandsList]", "1,Link", "3,Reg", "[Link]", "Other=1", "[Reg]", "RegHive=HKLM",
               "RegKey=SOFTWARE\\Kit", "RegKey=Second", "RegDataType=dword", "RegData=" + std::string(512, 'x')});
    EXPECT_TRUE(checked.Has(2, kError, "[Link] has no AddLinkFile")) << checked.Dump();
    EXPECT_TRUE(checked.Has(7, kWarning, "RegHive 'HKLM' is not a root key name")) << checked.Dump();
    EXPECT_TRUE(checked.Has(9, kWarning, "key 'RegKey' appears again: the first, at line 8")) << checked.Dump();
    EXPECT_TRUE(checked.Has(10, kWarning, "written as REG_SZ")) << checked.Dump();
    EXPECT_TRUE(checked.Has(11, kError, "RegData is 512 characters long")) << checked.Dump();
}

TEST(Spawn, TheSectionFormNeedsAProgramAndAWaitChoiceIsTrueOrFalse) {
    Checked bad = Check({"[CommandsList]", "11,Run", "11,,setup.exe,yes", "[Run]", "WaitToExit=maybe"});
    EXPECT_TRUE(bad.Has(2, kError, "[Run] has no Program")) << bad.Dump();
    EXPECT_TRUE(bad.Has(5, kWarning, "neither TRUE nor FALSE")) << bad.Dump();
    EXPECT_TRUE(bad.Has(3, kWarning, "neither TRUE nor FALSE")) << bad.Dump();
    Checked good = Check({"[CommandsList]", "11,Run", "[Run]", "Program=~%C001\\setup.exe /s", "WaitToExit=true"});
    EXPECT_EQ(0u, good.findings.size()) << good.Dump();
}

TEST(KeySections, ValuesHaveNoComments) {
    Checked checked = Check({"[CommandsList]", "17,Hi", "[Hi.US]", "Title=Hello ; the title",
                             "Message1=Hello;no blank before it, so likely meant"});
    EXPECT_TRUE(checked.Has(4, kWarning, "holds '; the title': values have no comments")) << checked.Dump();
    EXPECT_EQ(1u, checked.findings.size()) << checked.Dump();
}

TEST(Sleep, TheTimeIsANumberOfMilliseconds) {
    Checked bad = Check({"[CommandsList]", "13", "13,two seconds", "13,-1"});
    EXPECT_TRUE(bad.Has(2, kWarning, "no time given")) << bad.Dump();
    EXPECT_TRUE(bad.Has(3, kWarning, "reads as 0 milliseconds")) << bad.Dump();
    EXPECT_TRUE(bad.Has(4, kWarning, "negative time")) << bad.Dump();
    EXPECT_EQ(0u, Check({"[CommandsList]", "13,2000"}).findings.size());
}

TEST(CommandsFromData, ArgumentsOfFiveSixAndSevenAreIgnored) {
    Checked bad = Check({"[CommandsList]", "5,Counter", "6,Steps", "7", "[Data]", "DecCommand=1"});
    EXPECT_TRUE(bad.Has(2, kWarning, "reads RunCount from [DATA] always; the argument section 'Counter' is ignored"))
        << bad.Dump();
    EXPECT_TRUE(bad.Has(3, kWarning, "argument section 'Steps' is ignored")) << bad.Dump();
    EXPECT_TRUE(bad.Has(4, kNote, "[Data] has no IncCommand")) << bad.Dump();
    Checked good = Check({"[CommandsList]", "5", "6", "7", "[Data]", "DecCommand=1", "IncCommand=1"});
    EXPECT_EQ(0u, good.findings.size()) << good.Dump();
}

TEST(LogMessage, OnlyArgumentZeroIsLogged) {
    Checked bad = Check({"[CommandsList]", "32,Hello, world", "32,Path ~%C001"});
    EXPECT_TRUE(bad.Has(2, kWarning, "only argument 0 is logged")) << bad.Dump();
    EXPECT_TRUE(bad.Has(3, kWarning, "variable tokens in it are not replaced")) << bad.Dump();
    EXPECT_EQ(0u, Check({"[CommandsList]", "32,Hello world"}).findings.size());
}

TEST(ExitAndDelete, TheRebootChoiceIsTrueOrFalse) {
    Checked bad = Check({"[CommandsList]", "29,,C:\\kit,yes"});
    EXPECT_TRUE(bad.Has(2, kWarning, "reboot choice 'yes' is neither TRUE nor FALSE")) << bad.Dump();
    EXPECT_EQ(0u, Check({"[CommandsList]", "29,,C:\\kit,true"}).findings.size());
}

TEST(SystemIdList, LinesThatNoIdMatches) {
    Checked checked = Check({"[CommandsList]", "25,Ids,Yes,No", "[Ids]", "0x0a7c", "A7C", "2684", "0A7C=1", "[Yes]",
                             "32,y", "[No]", "32,n"});
    EXPECT_TRUE(checked.Has(7, kWarning, "'0A7C=1' never matches")) << checked.Dump();
    EXPECT_EQ(1u, checked.findings.size()) << checked.Dump();
}

}  // namespace
