// A hardware-query library that answers from "HwQuery.ini" beside it instead of
// the instrumentation, for the machines the test machine is not: a maker's
// board, a portable chassis, a library that knows nothing, overlong texts.
//   [<class name>]   <property name>=<text>   (the file may be UTF-16 for wide texts)
//   [Chassis]        Type=<number>            (absent: nothing is stored)
//   [Hang]           At=<class>.<property>    (that read never answers, like a
//                                              service that has stopped listening)
// A property without a key reads as the empty text. Every read is appended to
// "HwQuery.calls" beside it, one "class.property" a line.
#include <windows.h>

#include <cwchar>
#include <string>

#include "hw_board.h"

namespace {

std::wstring Beside(const wchar_t *fileName) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Beside), &self);
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(self, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + fileName;
}

void NoteCall(const std::wstring &call) {
    HANDLE calls = CreateFileW(Beside(L"HwQuery.calls").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, 0, nullptr);
    if (calls == INVALID_HANDLE_VALUE) return;
    std::string line(call.begin(), call.end());
    line += "\r\n";
    DWORD written = 0;
    WriteFile(calls, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(calls);
}

size_t CapacityOf(const wchar_t *propertyName) {
    if (_wcsicmp(propertyName, L"SMBIOSMajorVersion") == 0) return kBoardMajorVersionCapacity;
    if (_wcsicmp(propertyName, L"SMBIOSMinorVersion") == 0) return kBoardMinorVersionCapacity;
    return kBoardTextCapacity;
}

}  // namespace

struct CHwBoard::Session {};

CHwBoard::CHwBoard() : session_(nullptr) { NoteCall(L"construct"); }

CHwBoard::~CHwBoard() { NoteCall(L"destroy"); }

long CHwBoard::GetBoardProperty(const wchar_t *className, const wchar_t *propertyName, wchar_t *out) {
    const std::wstring call = std::wstring(className) + L"." + propertyName;
    NoteCall(call);
    wchar_t hangAt[128];
    GetPrivateProfileStringW(L"Hang", L"At", L"", hangAt, 128, Beside(L"HwQuery.ini").c_str());
    if (_wcsicmp(hangAt, call.c_str()) == 0) Sleep(INFINITE);
    const size_t capacity = CapacityOf(propertyName);
    GetPrivateProfileStringW(className, propertyName, L"", out, static_cast<DWORD>(capacity),
                             Beside(L"HwQuery.ini").c_str());
    return out[0] ? 0 : static_cast<long>(0x80041002);  // WBEM_E_NOT_FOUND
}

long CHwBoard::GetBoardChassisType(unsigned long *chassisType) {
    NoteCall(L"chassis");
    const std::wstring file = Beside(L"HwQuery.ini");
    if (GetPrivateProfileIntW(L"Chassis", L"Type", -1, file.c_str()) == static_cast<UINT>(-1)) return 0x80041002;
    *chassisType = GetPrivateProfileIntW(L"Chassis", L"Type", 0, file.c_str());
    return 0;
}
