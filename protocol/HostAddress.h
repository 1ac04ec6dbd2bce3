// Turns a gateway or server host (dotted IPv4 or a name) into an IPv4 address in network byte order.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>

bool ResolveIPv4(const CString& host, uint32_t& address);
