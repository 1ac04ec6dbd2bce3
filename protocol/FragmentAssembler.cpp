#include "protocol/FragmentAssembler.h"

#include "core/Logger.h"

#include <new>

void FragmentAssembler::Clear()
{
    m_pending.clear();
    m_bytes = 0;
}

void FragmentAssembler::Erase(std::map<Key, Pending>::iterator it)
{
    m_bytes -= it->second.bytes;
    m_pending.erase(it);
}

void FragmentAssembler::DropOldestUntilFits(size_t incoming, const Key& keep)
{
    while (m_bytes + incoming > m_limit) {
        auto oldest = m_pending.end();
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
            bool kept = !(it->first < keep) && !(keep < it->first);
            if (!kept && (oldest == m_pending.end() || it->second.age < oldest->second.age)) oldest = it;
        }
        if (oldest == m_pending.end()) return; // only the message being filled is left
        LOG_ERROR(L"incomplete message type %u from %u dropped: %u of %u fragments held too long",
                  oldest->first.messageKey & 0xFFFF, oldest->first.sender, oldest->second.received,
                  oldest->second.count);
        Erase(oldest);
    }
}

size_t FragmentAssembler::SlotCost(uint8_t count)
{
    // What a pending message holds before any payload: its map entry and one empty part and flag per
    // fragment. Charged to the cap, so fragments without payload cannot pile up without bound.
    return sizeof(std::pair<const Key, Pending>) + 32 + count * (sizeof(std::vector<uint8_t>) + 1);
}

bool FragmentAssembler::Add(const PacketHeader& fragment, const uint8_t* payload, size_t length,
                            PacketHeader& header, std::vector<uint8_t>& joined)
{
    try {
        return Store(fragment, payload, length, header, joined);
    } catch (const std::bad_alloc&) {
        size_t dropped = m_pending.size();
        Clear();
        std::vector<uint8_t>().swap(joined);
        try {
            LOG_ERROR(L"fragment %u of %u of type %u from %u dropped with %u incomplete messages: out of memory",
                      fragment.fragmentNumber, fragment.fragmentCount, fragment.type, fragment.sender,
                      static_cast<unsigned>(dropped));
        } catch (const std::bad_alloc&) {
            // Not even the line fits: the messages are dropped all the same.
        }
        return false;
    }
}

bool FragmentAssembler::Store(const PacketHeader& fragment, const uint8_t* payload, size_t length,
                              PacketHeader& header, std::vector<uint8_t>& joined)
{
    uint8_t count = fragment.fragmentCount;
    uint8_t number = fragment.fragmentNumber;
    if (count == 0 || number == 0 || number > count) {
        LOG_ERROR(L"fragment %u of %u of type %u dropped: no such fragment", number, count, fragment.type);
        return false;
    }
    Key key{static_cast<uint32_t>(fragment.messageId) << 16 | fragment.type, fragment.sender};
    auto it = m_pending.find(key);
    if (it != m_pending.end() && it->second.count != count) {
        // The sender started a new message under the same key; the old one can never complete.
        LOG_ERROR(L"incomplete message type %u from %u replaced by a new one", fragment.type, fragment.sender);
        Erase(it);
        it = m_pending.end();
    }
    if (it != m_pending.end() && it->second.present[number - 1]) return false; // a duplicate counts once

    const bool first = it == m_pending.end();
    const size_t cost = length + (first ? SlotCost(count) : 0);
    DropOldestUntilFits(cost, key);
    if (first) {
        it = m_pending.emplace(key, Pending()).first;
        it->second.count = count;
        it->second.age = m_nextAge++;
        it->second.parts.resize(count);
        it->second.present.assign(count, false);
    }
    Pending& pending = it->second;
    pending.parts[number - 1].assign(payload, payload + length);
    pending.present[number - 1] = true;
    pending.received++;
    pending.payload += length;
    pending.bytes += cost;
    m_bytes += cost;
    if (pending.received < pending.count) return false;

    joined.clear();
    joined.reserve(pending.payload);
    for (const std::vector<uint8_t>& part : pending.parts) joined.insert(joined.end(), part.begin(), part.end());
    header = fragment;
    // The joined size travels separately as 32 bits; the header field keeps what fits.
    header.length = static_cast<uint16_t>(joined.size() > 0xFFFF ? 0xFFFF : joined.size());
    Erase(it);
    return true;
}
