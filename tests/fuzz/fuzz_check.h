// What every fuzz target shares: the entry point libFuzzer calls, and checks of
// what must hold for any input. A failed check aborts, which the fuzzer reports
// as a finding and the replay as a failed run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

[[noreturn]] inline void FuzzCheckFailed(const char *condition, const char *file, int line) {
    fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    abort();
}

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : FuzzCheckFailed(#condition, __FILE__, __LINE__))

// The input as a C text, up to its first NUL as the program would see it, in a
// buffer of exactly that length plus the terminator: a read one byte past the
// text is then a finding of the sanitizer.
inline std::unique_ptr<char[]> FuzzText(const uint8_t *data, size_t size, size_t *length = nullptr) {
    const void *nul = size > 0 ? memchr(data, 0, size) : nullptr;
    const size_t kept = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - data) : size;
    std::unique_ptr<char[]> textValue(new char[kept + 1]);
    if (kept > 0) memcpy(textValue.get(), data, kept);
    textValue[kept] = '\0';
    if (length) *length = kept;
    return textValue;
}
