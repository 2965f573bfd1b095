// The command loop in-process, where the allocator can be made to run out: a
// real run cannot be brought to that point on purpose.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "engine/bounded_text.h"
#include "engine/command_loop.h"
#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "test_support.h"

using namespace testing_support;

namespace {
// While set, every throwing allocation of at least this many bytes fails.
size_t g_failFrom = 0;

void *Allocate(size_t size) {
    if (g_failFrom != 0 && size >= g_failFrom) throw std::bad_alloc();
    if (void *block = malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
}  // namespace

void *operator new(size_t size) { return Allocate(size); }
void *operator new[](size_t size) { return Allocate(size); }
// The buffers that are asked for without exceptions check for null themselves.
void *operator new(size_t size, const std::nothrow_t &) noexcept { return malloc(size ? size : 1); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return malloc(size ? size : 1); }
void operator delete(void *block) noexcept { free(block); }
void operator delete[](void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }
void operator delete[](void *block, size_t) noexcept { free(block); }

namespace {

TEST(CommandLoop, AnAllocationThatFailsInACommandEndsOnlyThatCommand) {
    ResetRunState();
    const std::string folder = FreshFolder("unit-command-loop"), copy = folder + "\\copy.ini",
                      log = folder + "\\install.log";
    // A copy line whose source is long enough to be held in a container of its own.
    WriteFile(copy, Ini({"[Commands]", "CurrentCmd=0", "Cmd0=15", "FullCmdSection0=,Copies", "CmdSection0.0=Copies",
                         "Cmd1=32", "FullCmdSection1=,after", "CmdSection1.0=after", "[Copies]",
                         std::string(3000, 'x') + ",C:\\nowhere"}));
    text::Copy(g_run.scriptFile, copy.c_str());
    text::Copy(g_run.programFileName, "kestrel.exe");
    SetInstallLogPath(log.c_str());
    g_run.logging = true;
    ASSERT_TRUE(SaveWholeState());  // as the start-up leaves it before the loop

    g_failFrom = 2500;
    RunCommandLoop();
    g_failFrom = 0;

    std::vector<std::string> texts = LogTexts(log);
    int failed = FindText(texts, "ERROR-=- malloc returned a NULL pointer");
    ASSERT_GE(failed, 1);
    EXPECT_EQ(0u, texts[failed - 1].rfind("CMD0> CMD15_CopyFile: 15,Copies", 0));
    EXPECT_GE(FindText(texts, " after", failed), 0);
    EXPECT_EQ("No More commands ", texts.back());
    EXPECT_EQ("2", ProfileString(copy, "Commands", "CurrentCmd"));
    ResetRunState();
}

}  // namespace
