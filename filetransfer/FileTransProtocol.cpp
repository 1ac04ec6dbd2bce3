#include "filetransfer/FileTransProtocol.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

namespace FileTransWire {

namespace {

void AppendRaw(std::string& out, const void* bytes, size_t n)
{
    out.append(static_cast<const char*>(bytes), n);
}

template <typename T>
void AppendLe(std::string& out, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string Data(uint64_t transferId, uint64_t offset, const void* bytes, size_t n, uint16_t length)
{
    std::string out;
    out.reserve(kHeaderSize + kBlockSize + n);
    AppendHeader(out, transferId, FTM_DATA, length);
    AppendBlock(out, offset, n);
    AppendRaw(out, bytes, n);
    return out;
}

bool BlockInside(uint64_t offset, uint64_t n, uint64_t fileSize)
{
    return offset <= fileSize && n <= fileSize - offset;
}

} // namespace

void AppendHeader(std::string& out, uint64_t transferId, uint8_t type, uint16_t length)
{
    AppendLe(out, transferId);
    out.push_back(static_cast<char>(type));
    AppendLe(out, length);
}

void AppendBlock(std::string& out, uint64_t offset, uint64_t length)
{
    AppendLe(out, offset);
    AppendLe(out, length);
}

std::string Request(uint64_t transferId, uint64_t startOffset)
{
    std::string out;
    AppendHeader(out, transferId, FTM_REQUEST, kBlockSize);
    AppendBlock(out, startOffset, kToEnd);
    return out;
}

std::string Offer(const FileTransInfo& info)
{
    std::string out;
    AppendHeader(out, info.transferId, FTM_OFFER, kOfferPayload);
    AppendBlock(out, 0, info.fileSize);
    AppendRaw(out, &info, sizeof info);
    return out;
}

std::string Empty(uint64_t transferId, uint8_t type)
{
    std::string out;
    AppendHeader(out, transferId, type, 0);
    return out;
}

std::string Loss(uint64_t transferId, uint16_t percent)
{
    std::string out;
    AppendHeader(out, transferId, FTM_LOSS, 2);
    AppendLe(out, percent);
    return out;
}

std::string Status(uint64_t transferId, const FileTransStatus& status)
{
    std::string out;
    AppendHeader(out, transferId, FTM_STATUS, sizeof status);
    AppendRaw(out, &status, sizeof status);
    return out;
}

std::string Ack(uint64_t transferId, const FileTransBlock& block)
{
    std::string out;
    AppendHeader(out, transferId, FTM_ACK, kBlockSize);
    AppendBlock(out, block.offset, block.length);
    return out;
}

std::string TcpData(uint64_t transferId, uint64_t offset, const void* bytes, size_t n)
{
    return Data(transferId, offset, bytes, n, static_cast<uint16_t>(kBlockSize + n));
}

std::string UdpData(uint64_t transferId, uint64_t offset, const void* bytes, size_t n)
{
    return Data(transferId, offset, bytes, n, static_cast<uint16_t>(n));
}

bool Reader::Read(void* out, size_t n)
{
    if (n > m_size - m_pos) return false;
    memcpy(out, m_bytes + m_pos, n);
    m_pos += n;
    return true;
}

bool ParseHeader(const void* bytes, size_t size, FileTransHeader* header)
{
    Reader reader(bytes, size);
    return reader.ReadRecord(header);
}

bool ParseRequest(const void* payload, size_t size, FileTransBlock* block)
{
    Reader reader(payload, size);
    return size == kBlockSize && reader.ReadRecord(block);
}

bool ParseOffer(const void* payload, size_t size, FileTransBlock* block, FileTransInfo* info)
{
    Reader reader(payload, size);
    if (size != kOfferPayload || !reader.ReadRecord(block) || !reader.ReadRecord(info)) return false;
    // The name must be terminated inside its field before anyone reads it as text.
    info->fileName[sizeof info->fileName - 1] = '\0';
    info->md5[sizeof info->md5 - 1] = '\0';
    return true;
}

bool ParseLoss(const void* payload, size_t size, uint16_t* percent)
{
    Reader reader(payload, size);
    return size == 2 && reader.ReadRecord(percent);
}

bool ParseStatus(const void* payload, size_t size, FileTransStatus* status)
{
    Reader reader(payload, size);
    return size == sizeof(FileTransStatus) && reader.ReadRecord(status);
}

bool ParseAcks(const void* payload, size_t size, std::vector<FileTransBlock>* blocks)
{
    blocks->clear();
    if (size == 0 || size % kBlockSize != 0) return false;
    Reader reader(payload, size);
    FileTransBlock block;
    while (reader.ReadRecord(&block)) blocks->push_back(block);
    return true;
}

bool ParseTcpData(const void* payload, size_t size, uint64_t fileSize, DataView* view)
{
    Reader reader(payload, size);
    FileTransBlock block;
    if (!reader.ReadRecord(&block)) return false;
    if (block.length != reader.Left() || !BlockInside(block.offset, block.length, fileSize)) return false;
    view->offset = block.offset;
    view->n = static_cast<size_t>(block.length);
    view->bytes = reader.Here();
    return true;
}

bool ParseUdpData(const FileTransHeader& header, const void* afterHeader, size_t size, uint64_t fileSize,
                  DataView* view)
{
    Reader reader(afterHeader, size);
    FileTransBlock block;
    if (!reader.ReadRecord(&block)) return false;
    if (block.length != header.length || block.length != reader.Left() ||
        !BlockInside(block.offset, block.length, fileSize))
        return false;
    view->offset = block.offset;
    view->n = static_cast<size_t>(block.length);
    view->bytes = reader.Here();
    return true;
}

namespace {

// Length of the longest prefix of text[0..limit) that ends on a UTF-8 character boundary.
size_t Utf8Prefix(const std::string& text, size_t limit)
{
    if (limit >= text.size()) return text.size();
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

} // namespace

std::string FitFileName(const std::string& utf8, size_t maxBytes, bool keepExtension)
{
    if (utf8.size() <= maxBytes) return utf8;
    size_t dot = utf8.rfind('.');
    if (keepExtension && dot != std::string::npos && dot > 0 && utf8.size() - dot < maxBytes) {
        std::string extension = utf8.substr(dot);
        std::string stem = utf8.substr(0, dot);
        return stem.substr(0, Utf8Prefix(stem, maxBytes - extension.size())) + extension;
    }
    return utf8.substr(0, Utf8Prefix(utf8, maxBytes));
}

void CopyName(FileTransInfo& info, const std::string& utf8Name)
{
    memset(info.fileName, 0, sizeof info.fileName);
    std::string fitted = FitFileName(utf8Name, kFileNameBytes, false);
    memcpy(info.fileName, fitted.data(), fitted.size());
}

namespace {

// CON, NUL, COM1 and the like name devices in every folder, also with an extension ("nul.txt").
bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& ch : stem) ch = static_cast<wchar_t>(towupper(ch));
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" || stem == L"CONIN$" ||
        stem == L"CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

} // namespace

bool IsSafeFileName(const std::wstring& name)
{
    // Dots inside a name ("Lesson 1..pptx") are harmless; "." and ".." fall to the trailing-dot rule.
    if (name.empty()) return false;
    for (wchar_t ch : name) {
        if (ch < 0x20 || ch == 0x7F || wcschr(L"\\/:*?\"<>|", ch)) return false;
    }
    // Windows drops a trailing dot or space, so such a name would land on another file.
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}

bool IsPrivateIPv4(uint32_t networkOrderAddress)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&networkOrderAddress);
    return b[0] == 10 || (b[0] == 172 && (b[1] & 0xF0) == 16) || (b[0] == 192 && b[1] == 168);
}

} // namespace FileTransWire
