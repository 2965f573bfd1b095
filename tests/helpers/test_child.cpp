// A small program that scripts start in the tests: it records where it ran and
// when it ended, so a test can tell whether kestrel waited for it.
//   test_child write <file> <sleep ms> <exit code>   sleeps, then writes <file>
//   test_child hold <file> <release file>            waits (at most 60 s) for <release file>, then writes <file>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static void WriteRecord(const char *path) {
    char directory[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILE *out = fopen(path, "wb");
    if (!out) return;
    fprintf(out, "cwd=%s\r\nended=%02d:%02d:%02d.%03d\r\n", directory, now.wHour, now.wMinute, now.wSecond,
            now.wMilliseconds);
    fclose(out);
}

int main(int argc, char **argv) {
    if (argc == 5 && strcmp(argv[1], "write") == 0) {
        Sleep(static_cast<DWORD>(atoi(argv[3])));
        WriteRecord(argv[2]);
        return atoi(argv[4]);
    }
    if (argc == 4 && strcmp(argv[1], "hold") == 0) {
        for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
        WriteRecord(argv[2]);
        return 0;
    }
    return 2;
}
