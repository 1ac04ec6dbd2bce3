// Joins the fragments of one message, keyed by message id, type and sender, whatever order they
// arrive in. Each fragment number counts once; incomplete messages are held within a memory cap.
#pragma once
#include "protocol/PacketHeader.h"
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

class FragmentAssembler {
public:
    // A message of 255 full fragments is about 344 KB; the default keeps about ten of them.
    static const size_t kDefaultPendingLimit = 4 * 1024 * 1024;

    explicit FragmentAssembler(size_t pendingLimit = kDefaultPendingLimit) : m_limit(pendingLimit) {}

    // Stores one fragment of a message with a fragment count above 1. When it completes the message,
    // header becomes the completing fragment's header, joined the payloads in fragment order, and the
    // answer is true. When memory runs out every incomplete message is dropped with a log line (they
    // are what holds the memory) and the answer is false; later fragments start afresh.
    bool Add(const PacketHeader& fragment, const uint8_t* payload, size_t length, PacketHeader& header,
             std::vector<uint8_t>& joined);

    size_t PendingMessages() const { return m_pending.size(); }
    // Payload and bookkeeping of the incomplete messages, as counted against the cap.
    size_t PendingBytes() const { return m_bytes; }
    // The bookkeeping a pending message of count fragments is charged before its payload.
    static size_t SlotCost(uint8_t count);
    void Clear();

private:
    struct Key {
        uint32_t messageKey; // message id << 16 | type
        uint32_t sender;
        bool operator<(const Key& other) const
        {
            return messageKey != other.messageKey ? messageKey < other.messageKey : sender < other.sender;
        }
    };
    struct Pending {
        uint8_t count = 0;
        uint32_t received = 0;
        uint64_t age = 0; // arrival order of the first fragment, to drop the oldest first
        size_t payload = 0; // payload bytes received
        size_t bytes = 0;   // what this message holds against the cap: payload and slots
        std::vector<std::vector<uint8_t>> parts; // by fragment number - 1
        std::vector<bool> present;
    };

    bool Store(const PacketHeader& fragment, const uint8_t* payload, size_t length, PacketHeader& header,
               std::vector<uint8_t>& joined);
    void DropOldestUntilFits(size_t incoming, const Key& keep);
    void Erase(std::map<Key, Pending>::iterator it);

    std::map<Key, Pending> m_pending;
    size_t m_limit;
    size_t m_bytes = 0;
    uint64_t m_nextAge = 0;
};
