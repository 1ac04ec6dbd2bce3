// The file-transfer packets: an 11-byte header and the records behind it, little-endian and packed, the
// same over the TCP relay connection and the UDP peer link.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum FileTransMsgType : uint8_t {
    FTM_REQUEST = 1,
    FTM_OFFER = 2,
    FTM_DATA = 3,
    FTM_LOSS = 4,
    FTM_FINISH = 6,
    FTM_DONE = 7,
    FTM_STATUS = 9,
    FTM_ACK = 10,
    FTM_REFUSE = 11,
};

enum FileTransState : uint16_t {
    FTS_PROGRESS = 1,
    FTS_SEND_FAILED = 2,
    FTS_RECV_FAILED = 3,
    FTS_SEND_DONE = 4,
    FTS_RECV_DONE = 5,
    FTS_REFUSED = 6,
};

#pragma pack(push, 1)
struct FileTransHeader {
    uint64_t transferId;
    uint8_t type;
    uint16_t length;
};

struct FileTransBlock {
    uint64_t offset;
    uint64_t length; // all bits set: to the end of the file
};

struct FileTransInfo {
    uint64_t transferId;
    char fileName[64]; // UTF-8, NUL-terminated
    uint64_t fileSize;
    uint8_t kind;
    uint8_t secondCode;
    char md5[33];
    uint32_t userId;
    uint32_t roomId;
    uint32_t sequence;
    uint32_t tag;
};

// The progress record posted to windows and carried by FTM_STATUS.
struct FileTransStatus {
    uint64_t transferId;
    uint16_t state;   // FileTransState
    uint16_t percent; // 0..100
    uint16_t error;   // negative codes as their 16-bit two's complement
    uint16_t speed;   // bytes per millisecond, cut to 16 bits
    uint32_t sequence;
    uint32_t tag;
};
#pragma pack(pop)

static_assert(sizeof(FileTransHeader) == 11, "header is 11 bytes on the wire");
static_assert(sizeof(FileTransBlock) == 16, "block is 16 bytes on the wire");
static_assert(sizeof(FileTransInfo) == 131, "file info is 131 bytes on the wire");
static_assert(sizeof(FileTransStatus) == 24, "status is 24 bytes on the wire");

namespace FileTransWire {

const size_t kHeaderSize = 11;
const size_t kBlockSize = 16;
const size_t kOfferPayload = kBlockSize + sizeof(FileTransInfo); // 147
const uint64_t kToEnd = ~0ull;
// TCP: 1400-byte packet buffer less the header and 32 bytes of slack.
const size_t kTcpBlockBytes = 1400 - 11 - 32; // 1357
const size_t kTcpSenderMaxPayload = 1389;
const size_t kTcpReceiverMaxPayload = 2789;
const size_t kUdpPublicBlockBytes = 1400;
const size_t kUdpPrivateBlockBytes = 49152;
const size_t kUdpReceiverDatagram = 51200;
const size_t kUdpSenderDatagram = 1400;
const size_t kFileNameBytes = 63;

// Appends one packet (header, then the payload pieces) to out. The length field is the caller's:
// a UDP FTM_DATA does not count its block.
void AppendHeader(std::string& out, uint64_t transferId, uint8_t type, uint16_t length);
void AppendBlock(std::string& out, uint64_t offset, uint64_t length);

std::string Request(uint64_t transferId, uint64_t startOffset);
std::string Offer(const FileTransInfo& info);
std::string Empty(uint64_t transferId, uint8_t type); // FTM_FINISH, FTM_DONE, FTM_REFUSE
std::string Loss(uint64_t transferId, uint16_t percent);
std::string Status(uint64_t transferId, const FileTransStatus& status);
std::string Ack(uint64_t transferId, const FileTransBlock& block);
// TCP data: length = 16 + n. UDP data: length = n.
std::string TcpData(uint64_t transferId, uint64_t offset, const void* bytes, size_t n);
std::string UdpData(uint64_t transferId, uint64_t offset, const void* bytes, size_t n);

// Reads that never pass the end of their bytes; every Read answers false on a short input.
class Reader {
public:
    Reader(const void* bytes, size_t size) : m_bytes(static_cast<const uint8_t*>(bytes)), m_size(size) {}
    bool Read(void* out, size_t n);
    template <typename T>
    bool ReadRecord(T* out) { return Read(out, sizeof(T)); }
    const uint8_t* Here() const { return m_bytes + m_pos; }
    size_t Left() const { return m_size - m_pos; }
private:
    const uint8_t* m_bytes;
    size_t m_size;
    size_t m_pos = 0;
};

bool ParseHeader(const void* bytes, size_t size, FileTransHeader* header);

// Payload parsers: each checks the payload length exactly and answers false when it does not match.
bool ParseRequest(const void* payload, size_t size, FileTransBlock* block);
bool ParseOffer(const void* payload, size_t size, FileTransBlock* block, FileTransInfo* info);
bool ParseLoss(const void* payload, size_t size, uint16_t* percent);
bool ParseStatus(const void* payload, size_t size, FileTransStatus* status);
// One or more blocks; a payload that is not a whole number of blocks is refused.
bool ParseAcks(const void* payload, size_t size, std::vector<FileTransBlock>* blocks);

// A data packet's block and bytes. TCP: the payload holds the block and length - 16 bytes.
// UDP: the datagram after the header holds the block and the header's length in bytes.
// Both need the block's n to match, and offset + n to lie inside fileSize.
struct DataView {
    uint64_t offset = 0;
    size_t n = 0;
    const uint8_t* bytes = nullptr;
};
bool ParseTcpData(const void* payload, size_t size, uint64_t fileSize, DataView* view);
bool ParseUdpData(const FileTransHeader& header, const void* afterHeader, size_t size, uint64_t fileSize,
                  DataView* view);

// The file's name for FileTransInfo: UTF-8 cut at a character boundary to at most maxBytes; when
// keepExtension, the cut is made before the extension so the extension stays at the end.
std::string FitFileName(const std::string& utf8, size_t maxBytes, bool keepExtension);
void CopyName(FileTransInfo& info, const std::string& utf8Name);

// True when a name from a peer or the room is safe as one path part: not empty, no '\\', '/', ':' (so
// no drive), control characters, or the other characters Windows file names cannot hold; no trailing
// dot or space (so neither "." nor ".."), and no device name.
bool IsSafeFileName(const std::wstring& name);

// The three private IPv4 ranges; the address is in network order.
bool IsPrivateIPv4(uint32_t networkOrderAddress);

} // namespace FileTransWire
