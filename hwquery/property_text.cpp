#include "property_text.h"

#include <cwchar>

#include "hw_board.h"

namespace {

struct WholeNumber {
    bool isSigned = false;
    unsigned long long bits = 0;  // two's complement when signed
};

bool ReadWholeNumber(VARTYPE type, const void *data, WholeNumber &number) {
    auto set = [&number](bool isSigned, long long value) {
        number.isSigned = isSigned;
        number.bits = static_cast<unsigned long long>(value);
    };
    switch (type) {
    case VT_I1: set(true, *static_cast<const signed char *>(data)); return true;
    case VT_UI1: set(false, *static_cast<const unsigned char *>(data)); return true;
    case VT_I2: set(true, *static_cast<const SHORT *>(data)); return true;
    case VT_UI2: set(false, *static_cast<const USHORT *>(data)); return true;
    case VT_I4:
    case VT_INT: set(true, *static_cast<const INT32 *>(data)); return true;
    case VT_UI4:
    case VT_UINT: set(false, *static_cast<const UINT32 *>(data)); return true;
    case VT_I8: set(true, *static_cast<const LONGLONG *>(data)); return true;
    case VT_UI8:
        number.isSigned = false;
        number.bits = *static_cast<const ULONGLONG *>(data);
        return true;
    default: return false;
    }
}

// Keeps the bits the management type has; some implementations leave the rest of
// a wider variant undefined.
void NarrowToCimType(WholeNumber &number, CIMTYPE cimType) {
    switch (cimType & ~CIM_FLAG_ARRAY) {
    case CIM_UINT8: number = {false, number.bits & 0xFFu}; break;
    case CIM_SINT8: number = {true, static_cast<unsigned long long>(static_cast<signed char>(number.bits))}; break;
    case CIM_UINT16: number = {false, number.bits & 0xFFFFu}; break;
    case CIM_SINT16: number = {true, static_cast<unsigned long long>(static_cast<short>(number.bits))}; break;
    case CIM_UINT32: number = {false, number.bits & 0xFFFFFFFFu}; break;
    case CIM_SINT32: number = {true, static_cast<unsigned long long>(static_cast<INT32>(number.bits))}; break;
    case CIM_UINT64: number.isSigned = false; break;
    case CIM_SINT64: number.isSigned = true; break;
    default: break;
    }
}

std::wstring WholeNumberText(const WholeNumber &number) {
    wchar_t digits[32];
    if (number.isSigned)
        swprintf(digits, 32, L"%lld", static_cast<long long>(number.bits));
    else
        swprintf(digits, 32, L"%llu", number.bits);
    return digits;
}

bool RenderScalar(VARTYPE type, const void *data, CIMTYPE cimType, std::wstring &out) {
    WholeNumber number;
    if (ReadWholeNumber(type, data, number)) {
        NarrowToCimType(number, cimType);
        out = WholeNumberText(number);
        return true;
    }
    wchar_t real[64];
    switch (type) {
    case VT_BSTR: {
        BSTR textValue = *static_cast<const BSTR *>(data);
        out = textValue ? std::wstring(textValue, SysStringLen(textValue)) : std::wstring();
        return true;
    }
    case VT_BOOL: out = *static_cast<const VARIANT_BOOL *>(data) ? L"TRUE" : L"FALSE"; return true;
    case VT_R4: swprintf(real, 64, L"%g", static_cast<double>(*static_cast<const float *>(data))); break;
    case VT_R8: swprintf(real, 64, L"%g", *static_cast<const double *>(data)); break;
    default: return false;
    }
    out = real;
    return true;
}

// The array's elements, one dimension, visited in order while fn returns true.
template <typename Fn> bool ForEachElement(SAFEARRAY *array, VARTYPE elementType, Fn fn) {
    if (!array || SafeArrayGetDim(array) != 1) return false;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void *data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    const size_t elementSize = SafeArrayGetElemsize(array);
    bool whole = true;
    for (LONG i = 0; i <= upper - lower && whole; ++i)
        whole = fn(elementType, static_cast<const char *>(data) + static_cast<size_t>(i) * elementSize);
    SafeArrayUnaccessData(array);
    return whole;
}

}  // namespace

bool RenderPropertyValue(const VARIANT &value, CIMTYPE cimType, std::wstring &out) {
    out.clear();
    const VARTYPE type = V_VT(&value);
    if (type == VT_EMPTY || type == VT_NULL) return true;
    if (type & VT_BYREF) return false;
    if (!(type & VT_ARRAY)) return RenderScalar(type, &V_UI1(&value), cimType, out);  // the union's start

    std::wstring joined = L"{";
    bool first = true;
    bool whole = ForEachElement(V_ARRAY(&value), static_cast<VARTYPE>(type & VT_TYPEMASK),
                                [&](VARTYPE elementType, const void *element) {
                                    std::wstring elementText;
                                    if (!RenderScalar(elementType, element, cimType, elementText)) return false;
                                    if (!first) joined += L",";
                                    first = false;
                                    joined += elementType == VT_BSTR ? L"\"" + elementText + L"\"" : elementText;
                                    return true;
                                });
    if (!whole) return false;
    out = joined + L"}";
    return true;
}

bool FirstWholeNumber(const VARIANT &value, CIMTYPE cimType, unsigned long &out) {
    const VARTYPE type = V_VT(&value);
    WholeNumber number;
    bool found = false;
    if (type & VT_BYREF) return false;
    if (type & VT_ARRAY) {
        ForEachElement(V_ARRAY(&value), static_cast<VARTYPE>(type & VT_TYPEMASK),
                       [&](VARTYPE elementType, const void *element) {
                           found = ReadWholeNumber(elementType, element, number);
                           return false;  // the first one only
                       });
    } else {
        found = ReadWholeNumber(type, &V_UI1(&value), number);
    }
    if (!found) return false;
    NarrowToCimType(number, cimType);
    out = static_cast<unsigned long>(number.bits);
    return true;
}

size_t PropertyBufferCapacity(const wchar_t *propertyName) {
    if (propertyName && _wcsicmp(propertyName, L"SMBIOSMajorVersion") == 0) return kBoardMajorVersionCapacity;
    if (propertyName && _wcsicmp(propertyName, L"SMBIOSMinorVersion") == 0) return kBoardMinorVersionCapacity;
    return kBoardTextCapacity;
}

void CopyCut(wchar_t *out, size_t capacity, const std::wstring &textValue) {
    if (!out || capacity == 0) return;
    size_t length = textValue.size() < capacity - 1 ? textValue.size() : capacity - 1;
    wmemcpy(out, textValue.data(), length);
    out[length] = L'\0';
}
