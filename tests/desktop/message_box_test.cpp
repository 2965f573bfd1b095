// DisplayMessageBox in a real window: kestrel runs without -silent under an X
// display, the test reads the box it shows and answers it with xdotool, as a
// user at the machine would.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kXdotool[] = "/usr/bin/xdotool";

bool DesktopAvailable(std::string &why) {
    char display[256];
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0) {
        why = "no X display (Xvfb absent): message box tests skipped";
        return false;
    }
    if (GetFileAttributesA("Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES) {
        why = "xdotool absent: message box tests skipped";
        return false;
    }
    return true;
}

// Starts a program and leaves it running.
bool Start(const std::string &commandLine, PROCESS_INFORMATION &process) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    process = PROCESS_INFORMATION{};
    return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process) != FALSE;
}

void RunAndWait(const std::string &commandLine) {
    PROCESS_INFORMATION process;
    if (!Start(commandLine, process)) return;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

class MessageBoxRun : public ScriptRun {
protected:
    void SetUp() override {
        ScriptRun::SetUp();
        std::string why;
        if (!DesktopAvailable(why)) GTEST_SKIP() << why;
    }
    void TearDown() override {
        if (kestrel_.hProcess) {
            if (WaitForSingleObject(kestrel_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(kestrel_.hProcess, 9);
            CloseHandle(kestrel_.hThread);
            CloseHandle(kestrel_.hProcess);
        }
    }

    void StartKestrel() { ASSERT_TRUE(Start("\"" + KestrelPath() + "\" " + script_, kestrel_)); }
    bool KestrelEnded(DWORD timeoutMs) { return WaitForSingleObject(kestrel_.hProcess, timeoutMs) == WAIT_OBJECT_0; }

    // The box kestrel shows, once it is on screen with its text; null when the run
    // ended without one or none came within two minutes (the first windows of a
    // fresh prefix, and 32-bit programs where they run emulated, are slow to come).
    HWND WaitForBox(const std::string &title) {
        const ULONGLONG deadline = GetTickCount64() + 120000;
        do {
            HWND box = FindWindowA(nullptr, title.c_str());
            if (box && IsWindowVisible(box) && !StaticTexts(box).empty()) return box;
        } while (!KestrelEnded(50) && GetTickCount64() < deadline);
        return nullptr;
    }

    // The texts of the box's static controls (the message; the icon has none).
    static std::vector<std::string> StaticTexts(HWND box) {
        std::vector<std::string> texts;
        EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
        return texts;
    }
    // A named function, not a lambda: on 32-bit x86 the callback is stdcall.
    static BOOL CALLBACK CollectStaticText(HWND child, LPARAM texts) {
        char className[32], content[1024];
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, content, sizeof content) > 0)
            reinterpret_cast<std::vector<std::string> *>(texts)->push_back(content);
        return TRUE;
    }

    // Presses a key in the box through the X server, as a user would.
    void Answer(const std::string &title, HWND box, const std::string &key) {
        for (int attempt = 0; attempt < 20 && IsWindow(box); ++attempt) {
            RunAndWait(std::string(kXdotool) + " search --name \"^" + title + "$\" windowfocus --sync key " + key);
            for (int i = 0; i < 10 && IsWindow(box); ++i) Sleep(50);
        }
    }

    std::string BranchSections() {
        return Ini({"[YesPart]", "32,in yes", "[NoPart]", "32,in no", "[CancelPart]", "32,in cancel"});
    }

    PROCESS_INFORMATION kestrel_{};
};

TEST_F(MessageBoxRun, YesNoAnsweredNoTakesArgumentThree) {
    WriteScript(Ini({"[CommandsList]", "17,Ask,3,YesPart,NoPart", "32,after the box", "[Ask.US]",
                     "Title=KestrelQuestion", "Message1=Install the kit?", "Message2=;", "Message3=It takes a minute.",
                     "Message5=never shown"}) +
                BranchSections());
    StartKestrel();
    HWND box = WaitForBox("KestrelQuestion");
    ASSERT_NE(nullptr, box) << "no box appeared";
    EXPECT_FALSE(KestrelEnded(0)) << "the run waits for the answer";
    std::vector<std::string> texts = StaticTexts(box);
    EXPECT_TRUE(std::find(texts.begin(), texts.end(), "Install the kit?\n\nIt takes a minute.\n") != texts.end())
        << (texts.empty() ? "<none>" : texts[0]);
    Answer("KestrelQuestion", box, "n");
    ASSERT_TRUE(KestrelEnded(30000));

    std::vector<std::string> log = Texts();
    int branch = FindText(log, "  Setting next section to:  NoPart");
    EXPECT_GE(branch, 0);
    EXPECT_GT(FindText(log, " after the box"), branch);
    EXPECT_TRUE(ContainsText(log, " in no"));
    EXPECT_FALSE(ContainsText(log, " in yes"));
    EXPECT_EQ("NoPart", Copy("State", "CurrentSection"));
}


TEST_F(MessageBoxRun, PlainBoxWithTheDefaultTitleWaitsAndDoesNotBranch) {
    WriteScript(Ini({"[CommandsList]", "17,Note,6,YesPart", "32,after the box", "[Note.US]",
                     "Message1=Something went wrong."}) +
                BranchSections());
    StartKestrel();
    HWND box = WaitForBox("Norvik Setup");
    ASSERT_NE(nullptr, box) << "no box appeared";
    EXPECT_FALSE(KestrelEnded(300)) << "the run waits for the box";
    Answer("Norvik Setup", box, "Return");
    ASSERT_TRUE(KestrelEnded(30000));
    std::vector<std::string> log = Texts();
    EXPECT_TRUE(ContainsText(log, " after the box"));
    EXPECT_FALSE(ContainsText(log, " in yes"));
    for (const std::string &t : log) EXPECT_EQ(std::string::npos, t.find("Setting next section")) << t;
}

TEST_F(MessageBoxRun, MissingMessageSectionShowsNoBox) {
    WriteScript(Ini({"[CommandsList]", "17,Absent,3,YesPart,NoPart", "32,after"}) + BranchSections());
    StartKestrel();
    ASSERT_TRUE(KestrelEnded(30000)) << "no box may hold the run";
    std::vector<std::string> log = Texts();
    EXPECT_TRUE(ContainsText(log, "ERROR-=- Missing the Message Section [Absent.US]"));
    EXPECT_TRUE(ContainsText(log, " after"));
    EXPECT_EQ("DONE !", log.back());
}

TEST_F(MessageBoxRun, ExampleBranchesOnTheUsersAnswer) {
    std::string example = "Z:" + std::string(KESTREL_SOURCE_DIR) + "/examples/program_and_question.ini";
    for (char &c : example)
        if (c == '/') c = '\\';
    std::string log = ProfileString(example, "Data", "LogFile");
    ASSERT_FALSE(log.empty());
    DeleteTree(log);
    DeleteTree(WorkingCopyOf("program_and_question.ini"));
    ASSERT_TRUE(CopyFileA(example.c_str(), script_.c_str(), FALSE));
    log_ = log;

    StartKestrel();
    HWND box = WaitForBox("Example set-up");
    ASSERT_NE(nullptr, box) << "no box appeared";
    EXPECT_TRUE(Exists("C:\\kestrel_question\\tool.txt")) << "the program ran to its end before the question";
    Answer("Example set-up", box, "n");
    ASSERT_TRUE(KestrelEnded(60000));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "  Setting next section to:  WithoutTools"));
    EXPECT_TRUE(ContainsText(texts, " Done: C:\\kestrel_question holds tool.txt only"));
    EXPECT_FALSE(Exists("C:\\kestrel_question\\tools.txt"));
    DeleteTree("C:\\kestrel_question");
}

TEST_F(MessageBoxRun, OsBranchToAMissingSectionLogsItByNumberBeforeTheBox) {
    // Wine reports a system that is none of the listed ones: argument 0.
    WriteScript(Ini({"[CommandsList]", "18,NoSuchSection,S1", "32,after the box", "[S1]", "32,in S1"}));
    StartKestrel();
    HWND box = WaitForBox("Norvik SW Installer");
    ASSERT_NE(nullptr, box) << "no box appeared";
    // The error line is on disk while the box waits for the user.
    EXPECT_TRUE(ContainsText(Texts(), "ERROR-=- Section number 0 [NoSuchSection] is not found!"));
    std::vector<std::string> texts = StaticTexts(box);
    EXPECT_TRUE(std::find(texts.begin(), texts.end(),
                          "An internal error has occured and progress has been aborted.\n\nPlease reinstall "
                          "installation.") != texts.end())
        << (texts.empty() ? "<none>" : texts[0]);
    Answer("Norvik SW Installer", box, "Return");
    ASSERT_TRUE(KestrelEnded(30000));
    std::vector<std::string> log = Texts();
    EXPECT_TRUE(ContainsText(log, " after the box"));
    EXPECT_FALSE(ContainsText(log, " in S1"));
    EXPECT_EQ("DONE !", log.back());
}

}  // namespace
