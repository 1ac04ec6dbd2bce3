#include "core/TextUtil.h"

#include <windows.h>
#include <cstring>

CString IntToString(int value)
{
    CString text;
    text.Format(L"%d", value);
    return text;
}

static std::string WideToMultiByte(UINT codePage, const wchar_t* text)
{
    if (!text || !*text) return std::string();
    int length = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text, -1, &result[0], length, nullptr, nullptr);
    result.resize(static_cast<size_t>(length - 1));
    return result;
}

static CString MultiByteToWide(UINT codePage, const char* bytes, int length)
{
    if (!bytes || length <= 0) return CString();
    int wide = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
    if (wide <= 0) return CString();
    CString result;
    wchar_t* buffer = result.GetBufferSetLength(wide);
    MultiByteToWideChar(codePage, 0, bytes, length, buffer, wide);
    result.ReleaseBuffer(wide);
    return result;
}

std::string Utf16ToUtf8(const wchar_t* text) { return WideToMultiByte(CP_UTF8, text); }

CString Utf8ToWString(const char* bytes, size_t length)
{
    if (!bytes) return CString();
    const void* zero = memchr(bytes, 0, length);
    if (zero) length = static_cast<size_t>(static_cast<const char*>(zero) - bytes);
    if (length > 0x7FFFFFFF) length = 0x7FFFFFFF;
    return MultiByteToWide(CP_UTF8, bytes, static_cast<int>(length));
}

CString Utf8ToWString(const char* text)
{
    return text ? Utf8ToWString(text, strlen(text)) : CString();
}

wchar_t* Utf8ToWideBuffer(const char* text)
{
    CString wide = Utf8ToWString(text);
    wchar_t* buffer = new wchar_t[static_cast<size_t>(wide.GetLength()) + 1];
    memcpy(buffer, wide.GetString(), (static_cast<size_t>(wide.GetLength()) + 1) * sizeof(wchar_t));
    return buffer;
}

void FreeWideBuffer(wchar_t* buffer) { delete[] buffer; }

std::string WideToAnsi(const wchar_t* text) { return WideToMultiByte(CP_ACP, text); }

CString AnsiToWide(const char* text)
{
    return text ? MultiByteToWide(CP_ACP, text, static_cast<int>(strlen(text))) : CString();
}

size_t StripNewlines(char* text)
{
    if (!text) return 0;
    size_t length = strlen(text);
    size_t kept = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != '\n') text[kept++] = text[i];
    }
    memset(text + kept, 0, length - kept);
    return kept;
}
