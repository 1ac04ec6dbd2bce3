#include "protocol/WireFormat.h"

#include "core/TextUtil.h"
#include "protocol/PacketHeader.h"
#include <cstring>
#include <string>

PacketHeader MakeHeader(uint16_t type, uint16_t length)
{
    PacketHeader header{};
    header.type = type;
    header.marker = kHeaderMarker;
    header.length = length;
    header.fragmentNumber = 1;
    header.fragmentCount = 1;
    return header;
}

bool ByteReader::Read(void* out, size_t count)
{
    if (m_failed || count > m_size - m_offset) {
        m_failed = true;
        return false;
    }
    if (count) memcpy(out, m_data + m_offset, count);
    m_offset += count;
    return true;
}

bool ByteReader::Skip(size_t count)
{
    if (m_failed || count > m_size - m_offset) {
        m_failed = true;
        return false;
    }
    m_offset += count;
    return true;
}

bool ByteReader::Seek(size_t offset)
{
    if (m_failed || offset > m_size) {
        m_failed = true;
        return false;
    }
    m_offset = offset;
    return true;
}

bool ByteReader::WireString(CString& value)
{
    size_t used = m_failed ? 0 : ReadWireString(m_data + m_offset, m_size - m_offset, value);
    if (!used) {
        m_failed = true;
        return false;
    }
    m_offset += used;
    return true;
}

ByteWriter& ByteWriter::Put(const void* data, size_t count)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    return *this;
}

ByteWriter& ByteWriter::WireString(const CString& value)
{
    size_t at = m_bytes.size();
    m_bytes.resize(at + WireStringSize(value));
    WriteWireString(m_bytes.data() + at, value);
    return *this;
}

namespace {
// The UTF-8 bytes a wire string carries. A text longer than the u16 count can say is cut before the
// character that would pass it, so the size and the bytes written always agree and the next field of
// the payload stays where the reader expects it.
std::string WireUtf8(const CString& text)
{
    std::string utf8 = text.IsEmpty() ? std::string() : Utf16ToUtf8(text);
    if (utf8.size() > 0xFFFF) {
        size_t cut = 0xFFFF;
        while (cut > 0 && (static_cast<uint8_t>(utf8[cut]) & 0xC0) == 0x80) --cut;
        utf8.resize(cut);
    }
    return utf8;
}
} // namespace

size_t WireStringSize(const CString& text)
{
    return 2 + WireUtf8(text).size();
}

size_t WriteWireString(uint8_t* destination, const CString& text)
{
    if (!destination) return 0;
    std::string utf8 = WireUtf8(text);
    uint16_t count = static_cast<uint16_t>(utf8.size());
    memcpy(destination, &count, 2);
    if (count) memcpy(destination + 2, utf8.data(), count);
    return 2 + count;
}

size_t ReadWireString(const uint8_t* source, size_t available, CString& text)
{
    text.Empty();
    if (!source || available < 2) return 0;
    uint16_t count;
    memcpy(&count, source, 2);
    if (count > available - 2) return 0;
    if (count) text = Utf8ToWString(reinterpret_cast<const char*>(source + 2), count);
    return 2 + count;
}

CString IdToHex(const uint8_t id[16])
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    CString text;
    for (int i = 0; i < 16; ++i) {
        text.AppendChar(kDigits[id[i] & 0x0F]);
        text.AppendChar(kDigits[id[i] >> 4]);
    }
    return text;
}

static uint8_t HexValue(char c)
{
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

void HexToId(const char* text, uint8_t id[16])
{
    size_t length = text ? strlen(text) : 0;
    for (size_t i = 0; i < 16; ++i) {
        char low = 2 * i < length ? text[2 * i] : '0';
        char high = 2 * i + 1 < length ? text[2 * i + 1] : '0';
        id[i] = static_cast<uint8_t>(HexValue(low) + 16 * HexValue(high));
    }
}
