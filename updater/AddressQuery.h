// Asks the gateway over UDP where the installer can be downloaded.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <string>

struct AddressQueryTiming {
    int tries = 5;
    unsigned replyWaitMs = 500;
    unsigned sendRetryMs = 50;
};

// The 32-byte query: a gateway header with an 8-byte zero payload.
std::string BuildAddressQuery();
// Reads an accepted reply (status 0xF830 or 0xF831, at least 32 bytes) into address; false otherwise.
bool ParseAddressReply(const uint8_t* bytes, size_t length, CString& address);

// host is a dotted IPv4 address or a name; true when a reply was accepted.
bool QueryDownloadUrl(const CString& host, uint16_t port, CString& address,
                      const AddressQueryTiming& timing = AddressQueryTiming());
