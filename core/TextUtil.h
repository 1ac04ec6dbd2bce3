// Conversions between UTF-16 (UI text), UTF-8 (database, log, wire strings) and the ANSI code page.
#pragma once
#include "platform/afx/AfxString.h"
#include <string>

CString IntToString(int value);

std::string Utf16ToUtf8(const wchar_t* text);
inline std::string Utf16ToUtf8(const CString& text) { return Utf16ToUtf8(text.GetString()); }
// From bytes with a known length; stops at a zero byte inside them. Invalid sequences give U+FFFD.
CString Utf8ToWString(const char* bytes, size_t length);
// From zero-terminated UTF-8; empty when the conversion fails.
CString Utf8ToWString(const char* text);
inline CString Utf8ToWString(const std::string& text) { return Utf8ToWString(text.data(), text.size()); }

// A new zero-terminated wide buffer the caller releases with FreeWideBuffer.
wchar_t* Utf8ToWideBuffer(const char* text);
void FreeWideBuffer(wchar_t* buffer);

std::string WideToAnsi(const wchar_t* text);
CString AnsiToWide(const char* text);

// Removes every line feed of a zero-terminated byte string in place, zero-fills the freed tail,
// and answers the new length.
size_t StripNewlines(char* text);
