#include "protocol/HostAddress.h"

#include "core/TextUtil.h"

#include <winsock2.h>
#include <ws2tcpip.h>

bool ResolveIPv4(const CString& host, uint32_t& address)
{
    std::string name = Utf16ToUtf8(host);
    if (name.empty()) return false;
    uint32_t dotted = inet_addr(name.c_str());
    if (dotted != INADDR_NONE) {
        address = dotted;
        return true;
    }
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}
