// Byte-level helpers shared by every parser and builder of the room protocol: a bounded reader that
// cannot run past its end, an appending writer, wire strings and the hex form of 16-byte file ids.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstddef>
#include <cstdint>
#include <vector>

// Reads little-endian values from a byte range. The first short read marks the reader failed; every
// later read then fails too, so a parser may read a whole record and check Ok() once.
class ByteReader {
public:
    ByteReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}

    bool U8(uint8_t& value) { return Read(&value, 1); }
    bool I8(int8_t& value) { return Read(&value, 1); }
    bool U16(uint16_t& value) { return Read(&value, 2); }
    bool I16(int16_t& value) { return Read(&value, 2); }
    bool U32(uint32_t& value) { return Read(&value, 4); }
    bool U64(uint64_t& value) { return Read(&value, 8); }
    bool I64(int64_t& value) { return Read(&value, 8); }
    bool Bytes(void* out, size_t count) { return Read(out, count); }
    bool Skip(size_t count);
    // Moves to an absolute offset (fixed-offset layouts); fails past the end.
    bool Seek(size_t offset);
    // A u16 byte count and that many UTF-8 bytes.
    bool WireString(CString& value);

    bool Ok() const { return !m_failed; }
    size_t Offset() const { return m_offset; }
    size_t Remaining() const { return m_failed ? 0 : m_size - m_offset; }
    const uint8_t* Current() const { return m_data + m_offset; }

private:
    bool Read(void* out, size_t count);

    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_failed = false;
};

// Appends little-endian values to a byte vector.
class ByteWriter {
public:
    ByteWriter& U8(uint8_t value) { return Put(&value, 1); }
    ByteWriter& U16(uint16_t value) { return Put(&value, 2); }
    ByteWriter& U32(uint32_t value) { return Put(&value, 4); }
    ByteWriter& U64(uint64_t value) { return Put(&value, 8); }
    ByteWriter& I64(int64_t value) { return Put(&value, 8); }
    ByteWriter& Bytes(const void* data, size_t count) { return Put(data, count); }
    ByteWriter& Zeros(size_t count) { m_bytes.insert(m_bytes.end(), count, 0); return *this; }
    ByteWriter& WireString(const CString& value);

    const std::vector<uint8_t>& Data() const { return m_bytes; }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }
    size_t Size() const { return m_bytes.size(); }

private:
    ByteWriter& Put(const void* data, size_t count);
    std::vector<uint8_t> m_bytes;
};

// Writes the wire string of text at destination (which must hold WireStringSize bytes); answers the
// bytes written, 0 when the destination is null.
size_t WriteWireString(uint8_t* destination, const CString& text);
// Reads one wire string from at most available bytes; answers the bytes consumed, or 0 when the
// source is null or the string runs past the available bytes (text is then emptied).
size_t ReadWireString(const uint8_t* source, size_t available, CString& text);
// 2 + the UTF-8 byte count of text; a text past 0xFFFF bytes is cut at the last whole character.
size_t WireStringSize(const CString& text);

// 32 lower-case hex characters, two per byte, the low nibble first.
CString IdToHex(const uint8_t id[16]);
// Pairs (c1, c2) become c1 + 16 * c2; characters that are not hex digits count as 0, missing ones too.
void HexToId(const char* text, uint8_t id[16]);
