// Owners for Windows handles of the plug-in side and its host: whatever is opened is
// closed on every path.
#pragma once
#include <windows.h>
#include <winsvc.h>

namespace util {

// Neither null nor INVALID_HANDLE_VALUE is ever closed.
template <typename T, BOOL(WINAPI *Close)(T)> class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : value_(value) {}
    ~Owned() { Reset(); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    bool Valid() const { return value_ != nullptr && static_cast<void *>(value_) != INVALID_HANDLE_VALUE; }
    T Get() const { return value_; }
    void Reset(T value = nullptr) {
        if (Valid()) Close(value_);
        value_ = value;
    }

private:
    T value_ = nullptr;
};

inline BOOL WINAPI CloseLibrary(HMODULE module) { return FreeLibrary(module); }
inline BOOL WINAPI CloseLocal(HLOCAL memory) { return LocalFree(memory) == nullptr; }

using ScopedHandle = Owned<HANDLE, CloseHandle>;
using ScopedFind = Owned<HANDLE, FindClose>;
using ScopedLibrary = Owned<HMODULE, CloseLibrary>;
using ScopedService = Owned<SC_HANDLE, CloseServiceHandle>;
using ScopedLocal = Owned<HLOCAL, CloseLocal>;  // memory the system allocated for the caller

}  // namespace util
