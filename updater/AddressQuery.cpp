#include "updater/AddressQuery.h"

#include "core/TextUtil.h"
#include "protocol/HostAddress.h"
#include "protocol/PacketHeader.h"

#include <winsock2.h>
#include <cstring>
#include <vector>

namespace {
const uint16_t kReplyCurrent = 0xF830;
const uint16_t kReplyNewer = 0xF831;
const size_t kQueryPayload = 8;
const size_t kReceiveBuffer = 1400;
} // namespace

std::string BuildAddressQuery()
{
    PacketHeader header = MakeHeader(eType_Gateway, kQueryPayload);
    std::string datagram(reinterpret_cast<const char*>(&header), sizeof header);
    datagram.append(kQueryPayload, '\0');
    return datagram;
}

bool ParseAddressReply(const uint8_t* bytes, size_t length, CString& address)
{
    if (!bytes || length < sizeof(PacketHeader) + kQueryPayload) return false;
    PacketHeader header;
    memcpy(&header, bytes, sizeof header);
    if (header.status != kReplyCurrent && header.status != kReplyNewer) return false;
    uint16_t count = static_cast<uint16_t>(bytes[24] | (bytes[25] << 8));
    address.Empty();
    if (count == 0) return true;
    // The text runs to its first zero byte or to the end of what arrived, whatever the count says.
    address = Utf8ToWString(reinterpret_cast<const char*>(bytes + 26), length - 26);
    return true;
}

bool QueryDownloadUrl(const CString& host, uint16_t port, CString& address, const AddressQueryTiming& timing)
{
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp == INVALID_SOCKET) return false;
    sockaddr_in gateway = {};
    gateway.sin_family = AF_INET;
    gateway.sin_port = htons(port);
    uint32_t resolved = 0;
    if (!ResolveIPv4(host, resolved)) {
        closesocket(udp);
        return false;
    }
    gateway.sin_addr.s_addr = resolved;
    std::string query = BuildAddressQuery();
    std::vector<uint8_t> reply(kReceiveBuffer);
    bool accepted = false;
    for (int attempt = 0; attempt < timing.tries && !accepted; ++attempt) {
        if (sendto(udp, query.data(), static_cast<int>(query.size()), 0, reinterpret_cast<sockaddr*>(&gateway),
                   sizeof gateway) == SOCKET_ERROR) {
            Sleep(timing.sendRetryMs);
            continue;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(udp, &readable);
        timeval wait = {static_cast<long>(timing.replyWaitMs / 1000), static_cast<long>((timing.replyWaitMs % 1000) * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1) continue;
        std::fill(reply.begin(), reply.end(), 0);
        int got = recv(udp, reinterpret_cast<char*>(reply.data()), static_cast<int>(reply.size()), 0);
        if (got > 0) accepted = ParseAddressReply(reply.data(), static_cast<size_t>(got), address);
    }
    closesocket(udp);
    return accepted;
}
