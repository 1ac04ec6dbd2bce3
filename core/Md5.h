// MD5 (RFC 1321) of a whole file: the file id the room and the relay know a document by.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <cstdio>
#include <string>

class Md5Digest {
public:
    Md5Digest();
    // Reads the stream to its end in blocks of 1024 bytes and closes it; a null stream digests no bytes.
    explicit Md5Digest(FILE* stream);

    void Update(const void* data, size_t length);
    // 32 lower-case hexadecimal characters, high nibble first; finishing happens once.
    std::string HexString();
    const uint8_t* Digest();

    // The digest of the file at path ("" digest of no bytes when it cannot be read).
    static std::string OfFile(const wchar_t* path);

private:
    void Transform(const uint8_t block[64]);
    void Finish();

    uint32_t m_state[4];
    uint64_t m_bitCount = 0;
    uint8_t m_buffer[64];
    uint8_t m_digest[16];
    bool m_finished = false;
};
