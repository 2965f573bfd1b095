#include "profile_utils.h"

#include <windows.h>

#include <new>

#include "bounded_text.h"
#include "install_log.h"
#include "text_rules.h"
#include "windows_version.h"

char *StripCommentsAndEtc(char *textValue) {
    if (!textValue) {
        LogMessage("warning null pointer passed to StripCommentsAndEtc");
        return nullptr;
    }
    return StripCommentsInPlace(textValue);
}

// Beyond this a section is not read whole even where the system allows it: the
// growth loop must end on any system.
static const DWORD kLargestSectionBuffer = 64u * 1024u * 1024u;

SectionText ReadProfileSection(const char *section, const char *file) {
    DWORD size = 260;
    for (;;) {
        SectionText buffer(new (std::nothrow) char[size]);
        if (!buffer) return nullptr;
        DWORD length = GetPrivateProfileSectionA(section, buffer.get(), size, file);
        if (length < size - 2) {
            if (length == 0) return nullptr;
            return buffer;
        }
        DWORD doubled = size * 2;
        bool oldPlatform = RunningRelease(WindowsRelease::Windows95) || RunningRelease(WindowsRelease::Windows98);
        if (oldPlatform && doubled > 32768) {
            LogLine("WARINING", "-=-Section Size is to large for Win9X");
            return buffer;
        }
        if (doubled > kLargestSectionBuffer) {
            LogLine("WARINING", "-=-Section Size is to large, read cut");
            return buffer;
        }
        size = doubled;
    }
}

size_t GetProfileSectionSize(const char *section, const char *file) {
    DWORD size = 260;
    for (;;) {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
        if (!buffer) {
            LogLine("GetProfileSectionSize()", "malloc returned a NULL pointer");
            return 0;
        }
        DWORD length = GetPrivateProfileSectionA(section, buffer.get(), size, file);
        if (length < size - 2) return length;
        if (size * 2 > 32768) {
            LogLine("WARINING", "-=-Section Size is to large for Win9X");
            return size;
        }
        size *= 2;
    }
}

void FlushProfile(const char *file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file); }

void WriteProfileInt(const char *section, const char *key, int value, const char *file) {
    char number[16];
    text::FormatBounded(number, sizeof number, "%d", value);
    WritePrivateProfileStringA(section, key, number, file);
}
