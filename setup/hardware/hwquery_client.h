// HwQuery.dll loaded on demand from the program's own folder: a missing or broken
// library makes the inventory fall silent instead of stopping the program before
// its first line.
#pragma once
#include <memory>

class HwBoardClient {
public:
    // Loads the library and constructs one CHwBoard in memory of our own; null
    // when the library, one of its four operations or the memory is missing.
    static std::unique_ptr<HwBoardClient> Create();
    ~HwBoardClient();
    HwBoardClient(const HwBoardClient &) = delete;
    HwBoardClient &operator=(const HwBoardClient &) = delete;

    // The library's two reads, as it answers them (see hwquery/hw_board.h).
    long GetBoardProperty(const wchar_t *className, const wchar_t *propertyName, wchar_t *out);
    long GetBoardChassisType(unsigned long *chassisType);

    struct Operations;

private:
    HwBoardClient() = default;
    struct Library;
    std::unique_ptr<Library> library_;
    void *object_ = nullptr;
};

// The library's file name and where it is looked for.
inline constexpr const char kHwQueryLibraryName[] = "HwQuery.dll";
