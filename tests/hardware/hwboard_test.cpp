// CHwBoard of HwQuery.dll against the machine's real instrumentation, and the
// rendering of management values as text.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string>

#include "hw_board.h"
#include "instrumentation_oracle.h"
#include "property_text.h"

using namespace hwtest;

namespace {

std::string Narrow(const wchar_t *wide) {
    char ansi[1024];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

// A caller's buffer of its fixed size, filled with junk, with guard characters after it.
template <size_t Capacity> struct Guarded {
    Guarded() {
        for (wchar_t &c : text) c = L'#';
        for (wchar_t &c : guard) c = L'!';
    }
    bool GuardHolds() const {
        for (wchar_t c : guard)
            if (c != L'!') return false;
        return true;
    }
    wchar_t text[Capacity];
    wchar_t guard[16];
};

TEST(HwBoard, ReadsWhatTheInstrumentationReports) {
    const Instrumentation &wmi = Instrumentation::Get();
    ASSERT_TRUE(wmi.Answered());
    CHwBoard board;
    for (const auto *reads : {&kSystemReads, &kBoardReads, &kChassisReads}) {
        for (const FallbackProperty &p : *reads) {
            Guarded<kBoardTextCapacity> out;
            std::wstring className(p.className, p.className + strlen(p.className));
            std::wstring propertyName(p.propertyName, p.propertyName + strlen(p.propertyName));
            long result = board.GetBoardProperty(className.c_str(), propertyName.c_str(), out.text);
            EXPECT_EQ(wmi.Value(p.className, p.propertyName), Narrow(out.text)) << p.className << "." << p.propertyName;
            // Properties this implementation lacks are reported as failures, with the empty text.
            if (result != 0) {
                EXPECT_EQ(L'\0', out.text[0]);
            }
            EXPECT_TRUE(out.GuardHolds());
        }
    }
    Guarded<kBoardMajorVersionCapacity> major;
    Guarded<kBoardMinorVersionCapacity> minor;
    EXPECT_EQ(0, board.GetBoardProperty(L"Win32_BIOS", L"SMBIOSMajorVersion", major.text));
    EXPECT_EQ(0, board.GetBoardProperty(L"Win32_BIOS", L"SMBIOSMinorVersion", minor.text));
    EXPECT_EQ(wmi.Value("Win32_BIOS", "SMBIOSMajorVersion"), Narrow(major.text));
    EXPECT_EQ(wmi.Value("Win32_BIOS", "SMBIOSMinorVersion"), Narrow(minor.text));
    EXPECT_TRUE(major.GuardHolds() && minor.GuardHolds());

    unsigned long chassisType = 12345;
    long result = board.GetBoardChassisType(&chassisType);
    if (wmi.ChassisType() != 0) {
        EXPECT_EQ(0, result);
        EXPECT_EQ(wmi.ChassisType(), chassisType);
    } else {
        EXPECT_NE(0, result);
        EXPECT_EQ(12345u, chassisType);
    }
}

TEST(HwBoard, UnknownClassesAndPropertiesGiveTheEmptyText) {
    CHwBoard board;
    Guarded<kBoardTextCapacity> out;
    EXPECT_NE(0, board.GetBoardProperty(L"Win32_NoSuchClass", L"Name", out.text));
    EXPECT_EQ(L'\0', out.text[0]);
    out.text[0] = L'#';
    EXPECT_NE(0, board.GetBoardProperty(L"Win32_BIOS", L"NoSuchProperty", out.text));
    EXPECT_EQ(L'\0', out.text[0]);
    out.text[0] = L'#';
    EXPECT_NE(0, board.GetBoardProperty(L"Win32_BIOS WHERE 1=1", L"Name", out.text));
    EXPECT_EQ(L'\0', out.text[0]);
    out.text[0] = L'#';
    EXPECT_EQ(E_POINTER, board.GetBoardProperty(nullptr, L"Name", out.text));
    EXPECT_EQ(L'\0', out.text[0]);
    EXPECT_EQ(E_POINTER, board.GetBoardProperty(L"Win32_BIOS", L"Name", nullptr));
    EXPECT_EQ(E_POINTER, board.GetBoardChassisType(nullptr));
    // The object still answers after failures, and answers again and again.
    EXPECT_EQ(0, board.GetBoardProperty(L"win32_bios", L"manufacturer", out.text));
    std::wstring first = out.text;
    EXPECT_EQ(0, board.GetBoardProperty(L"Win32_BIOS", L"Manufacturer", out.text));
    EXPECT_EQ(first, out.text);
    EXPECT_TRUE(out.GuardHolds());
}

// Values made as the instrumentation hands them over.
struct Value {
    Value() { VariantInit(&variant); }
    ~Value() { VariantClear(&variant); }
    Value(Value &&other) noexcept : variant(other.variant) { VariantInit(&other.variant); }
    Value(const Value &) = delete;
    Value &operator=(const Value &) = delete;
    std::string Text(CIMTYPE cimType) const {
        std::wstring out;
        if (!RenderPropertyValue(variant, cimType, out)) return "<no text>";
        return Narrow(out.c_str());
    }
    VARIANT variant;
};

Value Int32(INT32 number) {
    Value v;
    V_VT(&v.variant) = VT_I4;
    V_I4(&v.variant) = number;
    return v;
}

Value Int32Array(std::initializer_list<INT32> numbers) {
    Value v;
    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(numbers.size()));
    LONG i = 0;
    for (INT32 n : numbers) {
        SafeArrayPutElement(array, &i, &n);
        ++i;
    }
    V_VT(&v.variant) = VT_ARRAY | VT_I4;
    V_ARRAY(&v.variant) = array;
    return v;
}

Value Text(const wchar_t *textValue) {
    Value v;
    V_VT(&v.variant) = VT_BSTR;
    V_BSTR(&v.variant) = SysAllocString(textValue);
    return v;
}

TEST(PropertyText, NumbersAtTheWidthOfTheirManagementType) {
    EXPECT_EQ("2", Int32(2).Text(CIM_UINT16));
    // uint16 arrives in a 32-bit variant whose upper half some implementations leave undefined.
    EXPECT_EQ("2", Int32(0x010A0002).Text(CIM_UINT16));
    EXPECT_EQ("4294967295", Int32(-1).Text(CIM_UINT32));
    EXPECT_EQ("-5", Int32(-5).Text(CIM_SINT32));
    EXPECT_EQ("255", Int32(-1).Text(CIM_UINT8));
    EXPECT_EQ("-1", Int32(0xFFFF).Text(CIM_SINT16));
    EXPECT_EQ("-7", Int32(-7).Text(CIM_EMPTY));  // no type given: as the variant holds it
    // 64-bit numbers travel as text, or as 64-bit variants: whole either way.
    EXPECT_EQ("25276178432", Text(L"25276178432").Text(CIM_UINT64));
    Value big;
    V_VT(&big.variant) = VT_UI8;
    V_UI8(&big.variant) = 18446744073709551615ull;
    EXPECT_EQ("18446744073709551615", big.Text(CIM_UINT64));
    V_VT(&big.variant) = VT_I8;
    V_I8(&big.variant) = -9000000000ll;
    EXPECT_EQ("-9000000000", big.Text(CIM_SINT64));
}

TEST(PropertyText, BooleansNullsArraysAndTypesWithoutText) {
    Value flag;
    V_VT(&flag.variant) = VT_BOOL;
    V_BOOL(&flag.variant) = VARIANT_TRUE;
    EXPECT_EQ("TRUE", flag.Text(CIM_BOOLEAN));
    V_BOOL(&flag.variant) = VARIANT_FALSE;
    EXPECT_EQ("FALSE", flag.Text(CIM_BOOLEAN));
    Value nothing;
    EXPECT_EQ("", nothing.Text(CIM_STRING));
    V_VT(&nothing.variant) = VT_NULL;
    EXPECT_EQ("", nothing.Text(CIM_STRING));
    EXPECT_EQ("{3,10}", Int32Array({3, 0x0100000A}).Text(CIM_UINT16 | CIM_FLAG_ARRAY));
    Value names;
    SAFEARRAY *array = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 0;
    for (const wchar_t *name : {L"a", L"b c"}) {
        BSTR element = SysAllocString(name);
        SafeArrayPutElement(array, &i, element);
        SysFreeString(element);
        ++i;
    }
    V_VT(&names.variant) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&names.variant) = array;
    EXPECT_EQ("{\"a\",\"b c\"}", names.Text(CIM_STRING | CIM_FLAG_ARRAY));
    EXPECT_EQ("{}", Int32Array({}).Text(CIM_UINT16 | CIM_FLAG_ARRAY));
    Value unknown;
    V_VT(&unknown.variant) = VT_UNKNOWN;
    V_UNKNOWN(&unknown.variant) = nullptr;
    EXPECT_EQ("<no text>", unknown.Text(CIM_OBJECT));
}

TEST(PropertyText, FirstWholeNumberOfAValueOrAnArray) {
    unsigned long number = 99;
    EXPECT_TRUE(FirstWholeNumber(Int32Array({0x010A0003, 9}).variant, CIM_UINT16 | CIM_FLAG_ARRAY, number));
    EXPECT_EQ(3u, number);
    EXPECT_TRUE(FirstWholeNumber(Int32(14).variant, CIM_UINT16, number));
    EXPECT_EQ(14u, number);
    number = 99;
    EXPECT_FALSE(FirstWholeNumber(Int32Array({}).variant, CIM_UINT16 | CIM_FLAG_ARRAY, number));
    EXPECT_FALSE(FirstWholeNumber(Text(L"3").variant, CIM_STRING, number));
    EXPECT_FALSE(FirstWholeNumber(Value().variant, CIM_UINT16, number));
    EXPECT_EQ(99u, number);
}

TEST(PropertyText, EachPropertyIsCutToItsCallersBuffer) {
    EXPECT_EQ(64u, PropertyBufferCapacity(L"smbiosmajorversion"));
    EXPECT_EQ(128u, PropertyBufferCapacity(L"SMBIOSMinorVersion"));
    EXPECT_EQ(512u, PropertyBufferCapacity(L"SMBIOSVersion"));
    EXPECT_EQ(512u, PropertyBufferCapacity(nullptr));

    Guarded<kBoardMajorVersionCapacity> out;
    CopyCut(out.text, PropertyBufferCapacity(L"SMBIOSMajorVersion"), std::wstring(600, L'x'));
    EXPECT_EQ(std::wstring(63, L'x'), out.text);
    EXPECT_TRUE(out.GuardHolds());
    CopyCut(out.text, 64, std::wstring(63, L'y'));
    EXPECT_EQ(std::wstring(63, L'y'), out.text);
    CopyCut(out.text, 64, L"");
    EXPECT_EQ(std::wstring(), out.text);
    EXPECT_TRUE(out.GuardHolds());
}

}  // namespace
