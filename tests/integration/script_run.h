// A fixture for real kestrel.exe runs: one folder, script, log and working copy
// per test, named after the test.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

class ScriptRun : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace testing_support;
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = std::string(info->test_suite_name()) + "_" + info->name();
        folder_ = FreshFolder(name_);
        log_ = folder_ + "\\install.log";
        script_ = folder_ + "\\" + name_ + ".ini";
        copy_ = WorkingCopyOf(name_ + ".ini");
        DeleteTree(copy_);
    }

    std::string DataSection(const std::string &extra = "") {
        return "[Data]\r\nLogging=1\r\nLogFile=" + log_ + "\r\n" + extra;
    }
    void WriteScript(const std::string &body, const std::string &dataExtra = "") {
        testing_support::WriteFile(script_, DataSection(dataExtra) + body);
    }
    int Run(const std::string &switches = "-silent", unsigned timeoutMs = 60000) {
        return testing_support::RunKestrel(script_ + " " + switches, timeoutMs);
    }
    std::vector<std::string> Texts() { return testing_support::LogTexts(log_); }
    std::string Copy(const std::string &section, const std::string &key) {
        return testing_support::ProfileString(copy_, section, key, "<absent>");
    }
    // The log texts from the first one that starts with prefix on; empty when none does.
    std::vector<std::string> TextsFrom(const std::string &prefix);
    // Milliseconds of the day at which the first log line holding the text was
    // written; -1 when no line holds it.
    long StampOf(const std::string &textValue);
    // Changes the working copy as an interrupted or edited run would leave it.
    void EditCopy(const std::string &section, const std::string &key, const std::string &value);

    std::string name_, folder_, log_, script_, copy_;
    // Every run's inventory writes the machine's hardware information file.
    testing_support::SavedFile hardwareFile_{testing_support::kHardwareInfoPath};
};
