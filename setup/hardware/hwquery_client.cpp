#include "hwquery_client.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "../engine/win_owners.h"
#include "hwquery/hw_board.h"

// The four members of CHwBoard by their exported (decorated) names. Members use
// the thiscall convention on 32-bit x86, the one convention elsewhere.
#if defined(__i386__)
#define HWBOARD_MEMBER __attribute__((thiscall))
#else
#define HWBOARD_MEMBER
#endif

struct HwBoardClient::Operations {
    using Construct = void(HWBOARD_MEMBER *)(void *self);
    using Destroy = void(HWBOARD_MEMBER *)(void *self);
    using ReadProperty = long(HWBOARD_MEMBER *)(void *self, const wchar_t *, const wchar_t *, wchar_t *);
    using ReadChassisType = long(HWBOARD_MEMBER *)(void *self, unsigned long *);
    Construct construct = nullptr;
    Destroy destroy = nullptr;
    ReadProperty readProperty = nullptr;
    ReadChassisType readChassisType = nullptr;
};

struct HwBoardClient::Library {
    explicit Library(HMODULE module) : owner(module) {}
    ScopedLibrary owner;
    Operations operations;
};

namespace {

// The library beside the program, by its full path; false when that path cannot
// be formed (a program path that does not fit).
bool LibraryPath(std::string &path) {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) return false;
    const char *slash = strrchr(program, '\\');
    if (!slash) return false;
    path.assign(program, static_cast<size_t>(slash + 1 - program));
    path += kHwQueryLibraryName;
    return path.size() < MAX_PATH;
}

template <typename Fn> bool Resolve(HMODULE module, const char *name, Fn &out) {
    FARPROC address = GetProcAddress(module, name);
    out = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}

}  // namespace

std::unique_ptr<HwBoardClient> HwBoardClient::Load(std::string &failure) {
    std::string path;
    if (!LibraryPath(path)) {
        failure = std::string("the full path of ") + kHwQueryLibraryName +
                  " beside the program cannot be formed; it is not looked for elsewhere";
        return nullptr;
    }
    // No "cannot load" box from the system: the run is unattended.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(previousMode);
    auto library = std::make_unique<Library>(module);
    if (!library->owner.Valid()) return nullptr;

    Operations &ops = library->operations;
    if (!Resolve(module, "_ZN8CHwBoardC1Ev", ops.construct) || !Resolve(module, "_ZN8CHwBoardD1Ev", ops.destroy) ||
        !Resolve(module, "_ZN8CHwBoard16GetBoardPropertyEPKwS1_Pw", ops.readProperty) ||
        !Resolve(module, "_ZN8CHwBoard19GetBoardChassisTypeEPm", ops.readChassisType))
        return nullptr;
    std::unique_ptr<HwBoardClient> client(new HwBoardClient);
    client->library_ = std::move(library);
    return client;
}

bool HwBoardClient::Construct() {
    if (object_) return true;
    void *object = calloc(1, sizeof(CHwBoard));
    if (!object) return false;
    library_->operations.construct(object);
    object_ = object;
    return true;
}

HwBoardClient::~HwBoardClient() {
    if (object_) {
        library_->operations.destroy(object_);
        free(object_);
    }
}

long HwBoardClient::GetBoardProperty(const wchar_t *className, const wchar_t *propertyName, wchar_t *out) {
    return library_->operations.readProperty(object_, className, propertyName, out);
}

long HwBoardClient::GetBoardChassisType(unsigned long *chassisType) {
    return library_->operations.readChassisType(object_, chassisType);
}
