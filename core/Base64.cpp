#include "core/Base64.h"

#include "core/TextUtil.h"

#include <string>
#include <vector>

static unsigned Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

size_t Base64Decode(const char* text, size_t length, unsigned char* output, size_t capacity)
{
    if (!text || !output) return 0;
    size_t written = 0;
    unsigned group[4] = {};
    size_t filled = 0;
    auto emit = [&](unsigned char byte) {
        if (written < capacity) output[written++] = byte;
    };
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '=') break;
        group[filled++] = Base64Value(text[i]);
        if (filled == 4) {
            emit(static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4)));
            emit(static_cast<unsigned char>(((group[1] & 0xF) << 4) | (group[2] >> 2)));
            emit(static_cast<unsigned char>(((group[2] & 0x3) << 6) | group[3]));
            filled = 0;
        }
    }
    // A group cut short by '=' (or by the end of the text) gives the bytes its characters complete.
    if (filled >= 2) emit(static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4)));
    if (filled >= 3) emit(static_cast<unsigned char>(((group[1] & 0xF) << 4) | (group[2] >> 2)));
    return written;
}

CString Base64DecodeWide(const CString& text)
{
    std::string narrow = Utf16ToUtf8(text);
    size_t length = StripNewlines(&narrow[0]);
    std::vector<unsigned char> bytes(Base64DecodeBound(length) + 1, 0);
    size_t decoded = Base64Decode(narrow.data(), length, bytes.data(), bytes.size() - 1);
    return Utf8ToWString(reinterpret_cast<const char*>(bytes.data()), decoded);
}
