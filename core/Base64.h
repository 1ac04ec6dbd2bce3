// The launch link's Base64 (RFC 4648 alphabet, lenient as the web page that makes the links expects).
#pragma once
#include "platform/afx/AfxString.h"
#include <cstddef>

// The output size a caller must provide for n input characters.
inline size_t Base64DecodeBound(size_t n) { return n - n / 4 + 16; }

// Decodes into output (capacity bytes) and answers the bytes written. Unknown characters count as 0;
// the first '=' ends the decoding. Never writes past capacity.
size_t Base64Decode(const char* text, size_t length, unsigned char* output, size_t capacity);

// Wide text -> UTF-8 -> line feeds removed -> Base64 -> UTF-8 bytes -> wide text (stops at a zero byte).
CString Base64DecodeWide(const CString& text);
