// HwQuery.dll loaded on demand from the program's own folder: a missing or broken
// library makes the inventory fall silent instead of stopping the program before
// its first line.
#pragma once
#include <memory>
#include <string>

class HwBoardClient {
public:
    // Loads the library by its full path beside the program and finds its four
    // operations; null when that fails, with the reason in failure when there is
    // more to say than that it could not be loaded. The library is never searched
    // for elsewhere: a library of that name in another folder is not ours.
    static std::unique_ptr<HwBoardClient> Load(std::string &failure);
    ~HwBoardClient();
    HwBoardClient(const HwBoardClient &) = delete;
    HwBoardClient &operator=(const HwBoardClient &) = delete;

    // Constructs the CHwBoard in memory of our own (this is where the library
    // connects); false when the memory is missing.
    bool Construct();

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
