// One server of the gateway's server list, exactly as it travels (17 bytes, packed, little-endian).
#pragma once
#include <cstdint>

enum ServerKind : uint8_t {
    eServer_Invalid = 0,
    eServer_Reg = 1,
    eServer_Stream = 2,
    eServer_File = 3,
};

#pragma pack(push, 1)
struct ServerNode {
    uint16_t id;
    uint8_t kind;      // ServerKind
    uint32_t address;  // IPv4 in network byte order, as inet_addr gives it
    uint16_t port;     // host byte order
    uint16_t lineKey;  // the carrier line the server belongs to
    uint16_t weight;   // preference among the stream servers of one line
    uint16_t lineFlag; // separates the two classes of lines compared by the line choice
    uint16_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(ServerNode) == 17, "ServerNode is 17 bytes on the wire");
