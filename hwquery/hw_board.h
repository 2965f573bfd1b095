// HwQuery.dll: the board and system facts of the operating system's management
// instrumentation, for kestrel's inventory when physical memory is closed to it.
// No Windows headers here: kestrel includes this only for the object's size and
// the callers' buffer sizes.
#pragma once
#include <cstddef>

#if defined(HWQUERY_BUILDING)
#define HWQUERY_API __declspec(dllexport)
#else
#define HWQUERY_API
#endif

// The callers' wide buffers, terminator included. No size is passed with a read,
// so the library cuts every text to the buffer its property is read into.
inline constexpr size_t kBoardTextCapacity = 512;
inline constexpr size_t kBoardMajorVersionCapacity = 64;   // Win32_BIOS SMBIOSMajorVersion
inline constexpr size_t kBoardMinorVersionCapacity = 128;  // Win32_BIOS SMBIOSMinorVersion

// One connection to the instrumentation. The caller may place the object in memory
// of its own (sizeof(CHwBoard) bytes) and run the exported constructor there.
// Each class is asked once per object; its first instance answers every later
// read of its properties.
class HWQUERY_API CHwBoard {
public:
    CHwBoard();
    ~CHwBoard();
    CHwBoard(const CHwBoard &) = delete;
    CHwBoard &operator=(const CHwBoard &) = delete;

    // The property of the class's first instance as text: strings as they are,
    // numbers in decimal (64-bit ones whole), booleans TRUE or FALSE, arrays as
    // {a,b}. A property that cannot be read leaves the empty text. Returns 0 when
    // read, else the failure's HRESULT.
    long GetBoardProperty(const wchar_t *className, const wchar_t *propertyName, wchar_t *out);

    // The first chassis type of the system enclosure. Leaves the number alone and
    // returns the failure's HRESULT when there is none.
    long GetBoardChassisType(unsigned long *chassisType);

private:
    struct Session;
    Session *session_;
};
