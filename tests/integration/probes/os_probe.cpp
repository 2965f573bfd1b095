// Answers the OS tests as its exit code, one bit a test, so a test can run it under
// any Windows version Wine is told to report for it.
#include "hardware/os_tests.h"

int main() {
    bool (*const tests[])() = {IsWindows95,    IsWindows98,    IsWindowsNT4,     IsWindows2000,
                               IsWindowsXP,    IsWindowsVista, RunningUnderWow64};
    int answers = 0;
    for (int bit = 0; bit < static_cast<int>(sizeof tests / sizeof tests[0]); ++bit) {
        if (tests[bit]()) answers |= 1 << bit;
    }
    return answers;
}
