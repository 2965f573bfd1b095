#include "physical_memory.h"

#include <new>

#include "../engine/bounded_text.h"
#include "../engine/windows_version.h"
#include "hardware_diagnostics.h"
#include "os_tests.h"

namespace {

struct NativeUnicodeString {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};

struct NativeObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    NativeUnicodeString *ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};

using RtlInitUnicodeStringFn = VOID(NTAPI *)(NativeUnicodeString *, PCWSTR);
using NtUnmapViewOfSectionFn = LONG(NTAPI *)(HANDLE, PVOID);
using NtOpenSectionFn = LONG(NTAPI *)(PHANDLE, ACCESS_MASK, NativeObjectAttributes *);
using NtMapViewOfSectionFn = LONG(NTAPI *)(HANDLE, HANDLE, PVOID *, ULONG_PTR, SIZE_T, PLARGE_INTEGER, PSIZE_T,
                                           int, ULONG, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI *)(LONG);

struct NativeServices {
    bool resolved = false;
    RtlInitUnicodeStringFn rtlInitUnicodeString = nullptr;
    NtUnmapViewOfSectionFn ntUnmapViewOfSection = nullptr;
    NtOpenSectionFn ntOpenSection = nullptr;
    NtMapViewOfSectionFn ntMapViewOfSection = nullptr;
    RtlNtStatusToDosErrorFn rtlNtStatusToDosError = nullptr;
};

NativeServices g_native;

const ULONG kObjCaseInsensitive = 0x40;
const ACCESS_MASK kSectionMapRead = 0x0004;
const int kViewShare = 1;

template <typename Fn> Fn Lookup(HMODULE module, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

bool ResolveNativeServices() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll) {
        g_native.rtlInitUnicodeString = Lookup<RtlInitUnicodeStringFn>(ntdll, "RtlInitUnicodeString");
        g_native.ntUnmapViewOfSection = Lookup<NtUnmapViewOfSectionFn>(ntdll, "NtUnmapViewOfSection");
        g_native.ntOpenSection = Lookup<NtOpenSectionFn>(ntdll, "NtOpenSection");
        g_native.ntMapViewOfSection = Lookup<NtMapViewOfSectionFn>(ntdll, "NtMapViewOfSection");
        g_native.rtlNtStatusToDosError = Lookup<RtlNtStatusToDosErrorFn>(ntdll, "RtlNtStatusToDosError");
    }
    if (!ntdll || !g_native.rtlInitUnicodeString || !g_native.ntUnmapViewOfSection || !g_native.ntOpenSection ||
        !g_native.ntMapViewOfSection || !g_native.rtlNtStatusToDosError) {
        PrintHardwareDiagnostic("ERROR: Unable to locate NTDLL entry points!\n\n");
        return false;
    }
    return true;
}

void PrintStatusMessage(const char *textValue, long status) {
    DWORD code = g_native.rtlNtStatusToDosError ? g_native.rtlNtStatusToDosError(status) : 0;
    char *message = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0,
                   nullptr);
    PrintHardwareDiagnostic("%s: %s\n", textValue, message ? message : "");
    if (message) LocalFree(message);
}

HANDLE OpenPhysicalMemory() {
    NativeUnicodeString name{};
    g_native.rtlInitUnicodeString(&name, L"\\device\\physicalmemory");
    NativeObjectAttributes attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = nullptr;
    attributes.ObjectName = &name;
    attributes.Attributes = kObjCaseInsensitive;
    HANDLE section = INVALID_HANDLE_VALUE;
    LONG status = g_native.ntOpenSection(&section, kSectionMapRead, &attributes);
    if (status < 0) {
        PrintStatusMessage("ERROR: Could not open \\device\\physicalmemory!", status);
        return INVALID_HANDLE_VALUE;
    }
    return section;
}

PhysicalMemory::PhysicalMemory() {
    if (!g_native.resolved) {
        if (!ResolveNativeServices()) return;
        g_native.resolved = true;
    }
    section_.Reset(OpenPhysicalMemory());
}

PhysicalMemory::~PhysicalMemory() = default;  // the owner closes the section

bool PhysicalMemory::MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) {
    PrintHardwareDiagnostic(">> MapPhysicalMemory <<\n");
    if (!section_.Valid()) return false;
    PVOID base = nullptr;
    LARGE_INTEGER offset;
    offset.QuadPart = physical;
    SIZE_T viewSize = length;
    LONG status = g_native.ntMapViewOfSection(section_.Get(), GetCurrentProcess(), &base, 0, length, &offset,
                                              &viewSize, kViewShare, 0, PAGE_READONLY);
    if (status < 0) {
        char message[256];
        text::FormatBounded(message, sizeof message, "ERROR: Could not map view of %08X length %08X!", physical,
                            length);
        PrintStatusMessage(message, status);
        return false;
    }
    // The system rounds the offset down to its mapping granularity.
    view.bytes = static_cast<const uint8_t *>(base);
    view.physical = static_cast<uint64_t>(offset.QuadPart);
    view.length = viewSize;
    return true;
}

void PhysicalMemory::UnmapPhysicalMemory(const MemoryView &view) {
    PrintHardwareDiagnostic(">> UnmapPhysicalMemory <<\n");
    if (!view.bytes || !g_native.ntUnmapViewOfSection) return;
    LONG status = g_native.ntUnmapViewOfSection(GetCurrentProcess(), const_cast<uint8_t *>(view.bytes));
    if (status < 0) PrintStatusMessage("ERROR: Unable to unmap view!", status);
}

static const uint64_t kFirstMegabyte = 0x00100000;

bool BiosAreaMemory::MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) {
    if (length == 0 || uint64_t{physical} + length > kFirstMegabyte) {
        PrintHardwareDiagnostic("ERROR: %08X length %08X lies above the first megabyte!\n", physical, length);
        return false;
    }
    const void *start = reinterpret_cast<const void *>(static_cast<uintptr_t>(physical));
    // Probed, not trusted: a system that merely reports a 9x version (a
    // compatibility setting) has nothing there, and reading it would crash. A
    // WOW64 process is certainly on such a system and is spared the probe, whose
    // fault is not caught where the 32-bit layer is emulated.
    if (RunningUnderWow64() || IsBadReadPtr(start, length)) {
        PrintHardwareDiagnostic("ERROR: The BIOS area at %08X length %08X cannot be read!\n", physical, length);
        return false;
    }
    view.bytes = static_cast<const uint8_t *>(start);
    view.physical = physical;
    view.length = length;
    return true;
}

std::unique_ptr<PhysicalMemorySource> OpenLiveMemory() {
    // Only a system that says it is of the 9x family gets its first megabyte read
    // in place; anything else tries the NT section, which fails cleanly where
    // there is none.
    WindowsVersion version;
    if (AskWindowsVersion(version) && version.platformId == VER_PLATFORM_WIN32_WINDOWS)
        return std::unique_ptr<PhysicalMemorySource>(new (std::nothrow) BiosAreaMemory);
    return std::unique_ptr<PhysicalMemorySource>(new (std::nothrow) PhysicalMemory);
}

std::unique_ptr<SmbiosTable> OpenLiveSmbiosTable() { return std::make_unique<SmbiosTable>(OpenLiveMemory()); }
