#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "commands/process_rules.h"

namespace {

std::string WorkingDirectoryOf(const char *commandText) {
    char out[260];
    if (!DeriveWorkingDirectory(commandText, out, sizeof out)) return "<current>";
    return out;
}

TEST(WorkingDirectory, ProgramFolderOfTheCommandText) {
    EXPECT_EQ("C:\\Tools", WorkingDirectoryOf("C:\\Tools\\setup.exe /s"));
    EXPECT_EQ("C:\\", WorkingDirectoryOf("C:\\setup.exe"));
    EXPECT_EQ("<current>", WorkingDirectoryOf("setup.exe /q C:\\x\\y"));
    EXPECT_EQ("\\\\server\\share", WorkingDirectoryOf("\\\\server\\share\\a.exe"));
    EXPECT_EQ("<current>", WorkingDirectoryOf(""));
}

TEST(WorkingDirectory, UnquotedBlankCutsTheProgramPath) {
    EXPECT_EQ("C:\\", WorkingDirectoryOf("C:\\Program Files\\kit\\setup.exe"));
    EXPECT_EQ("D:\\my", WorkingDirectoryOf("D:\\my\\folder name\\a.exe"));
}

TEST(WorkingDirectory, QuotedProgramPathKeepsItsBlanks) {
    EXPECT_EQ("C:\\Program Files\\kit", WorkingDirectoryOf("\"C:\\Program Files\\kit\\setup.exe\" /s"));
    EXPECT_EQ("C:\\", WorkingDirectoryOf("\"C:\\a b.exe\""));
    EXPECT_EQ("C:\\open end", WorkingDirectoryOf("\"C:\\open end\\x.exe"));
}

TEST(WorkingDirectory, TooLongForTheBufferIsRefused) {
    std::string command = "C:\\" + std::string(300, 'd') + "\\a.exe";
    char out[260];
    EXPECT_FALSE(DeriveWorkingDirectory(command.c_str(), out, sizeof out));
    char small[4];
    EXPECT_FALSE(DeriveWorkingDirectory("C:\\a.exe", small, 3));
    EXPECT_TRUE(DeriveWorkingDirectory("C:\\a.exe", small, 4));
    EXPECT_STREQ("C:\\", small);
}

TEST(PauseLengthText, LeadingNumberInMilliseconds) {
    EXPECT_EQ(2000u, ReadPauseLength("2000").milliseconds);
    EXPECT_EQ(150u, ReadPauseLength("  150ms").milliseconds);
    EXPECT_EQ(7u, ReadPauseLength("+7").milliseconds);
    EXPECT_EQ(0u, ReadPauseLength("soon").milliseconds);
    EXPECT_FALSE(ReadPauseLength("soon").negative);
    EXPECT_EQ(0u, ReadPauseLength("-0").milliseconds);
    EXPECT_FALSE(ReadPauseLength("-0").negative);
}

TEST(PauseLengthText, NegativeIsRefusedAndHugeIsHeldFinite) {
    EXPECT_TRUE(ReadPauseLength("-1").negative);
    EXPECT_TRUE(ReadPauseLength(" -2000").negative);
    PauseLength huge = ReadPauseLength("99999999999999999999");
    EXPECT_FALSE(huge.negative);
    EXPECT_EQ(2147483647u, huge.milliseconds);
    EXPECT_NE(INFINITE, huge.milliseconds);
}

TEST(BoxKinds, StylesAndBranches) {
    static_assert(kAnswerOk == IDOK && kAnswerCancel == IDCANCEL && kAnswerYes == IDYES && kAnswerNo == IDNO);
    const BoxKind &okCancel = BoxKindFor(2);
    EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_OKCANCEL), okCancel.style);
    EXPECT_EQ(2, BranchArgumentFor(okCancel, IDOK));
    EXPECT_EQ(3, BranchArgumentFor(okCancel, IDCANCEL));
    EXPECT_EQ(3, BranchArgumentFor(okCancel, 0));
    EXPECT_EQ(2, BranchArgumentFor(okCancel, okCancel.silentAnswer));

    const BoxKind &yesNo = BoxKindFor(3);
    EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_YESNO), yesNo.style);
    EXPECT_EQ(2, BranchArgumentFor(yesNo, IDYES));
    EXPECT_EQ(3, BranchArgumentFor(yesNo, IDNO));
    EXPECT_EQ(2, BranchArgumentFor(yesNo, yesNo.silentAnswer));

    const BoxKind &yesNoCancel = BoxKindFor(4);
    EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_YESNOCANCEL), yesNoCancel.style);
    EXPECT_EQ(2, BranchArgumentFor(yesNoCancel, IDYES));
    EXPECT_EQ(3, BranchArgumentFor(yesNoCancel, IDNO));
    EXPECT_EQ(4, BranchArgumentFor(yesNoCancel, IDCANCEL));
    EXPECT_EQ(2, BranchArgumentFor(yesNoCancel, yesNoCancel.silentAnswer));

    EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_ICONWARNING), BoxKindFor(5).style);
    EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_ICONERROR), BoxKindFor(6).style);
    for (int plain : {1, 0, 7, -3, 1000}) {
        EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_OK), BoxKindFor(plain).style) << plain;
        EXPECT_FALSE(BoxKindFor(plain).question) << plain;
    }
    EXPECT_FALSE(BoxKindFor(5).question);
    EXPECT_FALSE(BoxKindFor(6).question);
}

TEST(MessageLines, EndEmptyAndText) {
    EXPECT_EQ(MessageLine::End, ClassifyMessageLine(""));
    EXPECT_EQ(MessageLine::End, ClassifyMessageLine("NO TEXT"));
    EXPECT_EQ(MessageLine::End, ClassifyMessageLine("no text"));
    EXPECT_EQ(MessageLine::Empty, ClassifyMessageLine(";"));
    EXPECT_EQ(MessageLine::Empty, ClassifyMessageLine("; spacer"));
    EXPECT_EQ(MessageLine::Text, ClassifyMessageLine("Install now?"));
    EXPECT_EQ(MessageLine::Text, ClassifyMessageLine("NO TEXT here"));
}

}  // namespace
