#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class ScriptGuard : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit-guard");
        copy_ = folder_ + "\\script.ini";
        text::Copy(g_run.scriptFile, copy_.c_str());
        WriteFile(copy_, "[CommandsList]\r\n33\r\n[Commands]\r\nCurrentCmd=4\r\n");
    }
    void TearDown() override { ResetRunState(); }
    std::string folder_, copy_;
};

TEST_F(ScriptGuard, MarkLivesOnlyWhileTheStepRuns) {
    {
        ScriptWriteGuard guard;
        EXPECT_TRUE(Exists(ScriptWriteMarkPath(copy_.c_str())));
        EXPECT_EQ(ReadFile(copy_), ReadFile(ScriptBackupPath(copy_.c_str())));
    }
    EXPECT_FALSE(Exists(ScriptWriteMarkPath(copy_.c_str())));
    EXPECT_FALSE(RecoverInterruptedWrite(copy_.c_str())) << "nothing was interrupted";
}

TEST_F(ScriptGuard, InterruptedWriteIsPutBack) {
    std::string before = ReadFile(copy_);
    {
        ScriptWriteGuard guard;
        WriteFile(copy_, "[Comma");  // what a write cut off by a kill leaves
        // The guard's end never comes: copy the mark aside as a kill would leave it.
        CopyFileA(ScriptWriteMarkPath(copy_.c_str()).c_str(), (folder_ + "\\mark").c_str(), FALSE);
    }
    MoveFileA((folder_ + "\\mark").c_str(), ScriptWriteMarkPath(copy_.c_str()).c_str());
    EXPECT_TRUE(RecoverInterruptedWrite(copy_.c_str()));
    EXPECT_EQ(before, ReadFile(copy_));
    EXPECT_FALSE(Exists(ScriptWriteMarkPath(copy_.c_str())));
}

TEST_F(ScriptGuard, CleanStartForgetsTheSavedState) {
    { ScriptWriteGuard guard; }
    WriteFile(ScriptWriteMarkPath(copy_.c_str()), "");
    ForgetSavedState(copy_.c_str());
    EXPECT_FALSE(Exists(ScriptWriteMarkPath(copy_.c_str())));
    EXPECT_FALSE(Exists(ScriptBackupPath(copy_.c_str())));
}

TEST_F(ScriptGuard, StepThatDeletesTheScriptLeavesNothingBehind) {
    {
        ScriptWriteGuard guard;
        DeleteFileA(copy_.c_str());
    }
    EXPECT_FALSE(Exists(ScriptBackupPath(copy_.c_str())));
    EXPECT_FALSE(Exists(ScriptWriteMarkPath(copy_.c_str())));
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
