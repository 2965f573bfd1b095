// A fixture for tests that run kestrel.exe on a script of their own: a fresh
// folder under C:\, the script's own install log, and its working copy.
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
        name_ = std::string(info->name());
        folder_ = FreshFolder(name_);
        log_ = folder_ + "\\install.log";
        script_ = folder_ + "\\" + name_ + ".ini";
        copy_ = WorkingCopyOf(name_ + ".ini");
        DeleteTree(copy_);
    }

    void WriteScript(const std::string &body, const std::string &dataExtra = "") {
        testing_support::WriteFile(script_, "[Data]\r\nLogging=1\r\nLogFile=" + log_ + "\r\n" + dataExtra + body);
    }
    int Run(const std::string &switches = "-silent", unsigned timeoutMs = 60000) {
        return testing_support::RunKestrel(script_ + " " + switches, timeoutMs);
    }
    std::vector<std::string> Texts() { return testing_support::LogTexts(log_); }
    std::string Copy(const std::string &section, const std::string &key) {
        return testing_support::ProfileString(copy_, section, key, "<absent>");
    }
    // The texts after the first line that starts with prefix; empty when absent.
    std::vector<std::string> TextsFrom(const std::string &prefix) {
        std::vector<std::string> texts = Texts(), tail;
        bool found = false;
        for (const std::string &t : texts) {
            if (!found && t.rfind(prefix, 0) == 0) found = true;
            if (found) tail.push_back(t);
        }
        return tail;
    }
    // Milliseconds of the day at which the first log line holding text was written; -1 when absent.
    long StampOf(const std::string &textValue) {
        for (const std::string &line : testing_support::Lines(log_)) {
            int h, m, s, ms;
            if (line.find(textValue) != std::string::npos && sscanf(line.c_str(), "[%d:%d:%d.%d]", &h, &m, &s, &ms) == 4)
                return ((h * 60L + m) * 60L + s) * 1000L + ms;
        }
        return -1;
    }

    std::string name_, folder_, log_, script_, copy_;
};
