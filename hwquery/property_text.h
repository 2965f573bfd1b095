// Management values as the text kestrel writes into the hardware information file.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <cstddef>
#include <string>

// Strings as they are, numbers in decimal (64-bit ones whole), booleans TRUE or
// FALSE, arrays as {a,b} with strings quoted; empty and null values give the
// empty text. Whole numbers are read at the width of their management type (the
// variant may be wider: uint16 and uint32 travel as VT_I4). False when the value
// has a type that has no text.
bool RenderPropertyValue(const VARIANT &value, CIMTYPE cimType, std::wstring &out);

// The value's first whole number: the value itself, or an array's first element.
bool FirstWholeNumber(const VARIANT &value, CIMTYPE cimType, unsigned long &out);

// The capacity, terminator included, of the caller's buffer for a property: the
// two SMBIOS version numbers have buffers of their own (names without regard to
// case).
size_t PropertyBufferCapacity(const wchar_t *propertyName);

// Copies the text into the buffer, cut to capacity - 1 characters.
void CopyCut(wchar_t *out, size_t capacity, const std::wstring &textValue);
