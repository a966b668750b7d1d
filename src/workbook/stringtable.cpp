#include "stringtable.h"

#include <QHashFunctions>
#include <algorithm>
#include <cstring>

namespace quill::workbook {

namespace {
uint32_t hashOf(QStringView text)
{
    return static_cast<uint32_t>(qHash(text, 0));
}
} // namespace

uint32_t StringTable::intern(QStringView text)
{
    if (m_slots.empty())
        rehash(1024);
    const uint32_t h = hashOf(text);
    const size_t mask = m_slots.size() - 1;
    size_t slot = h & mask;
    while (const uint32_t stored = m_slots[slot]) {
        const uint32_t index = stored - 1;
        if (m_hashes[index] == h) {
            const QStringView candidate = at(index);
            if (candidate.size() == text.size() &&
                (text.isEmpty() ||
                 std::memcmp(candidate.data(), text.data(), size_t(text.size()) * sizeof(char16_t)) == 0))
                return index;
        }
        slot = (slot + 1) & mask;
    }
    const auto index = static_cast<uint32_t>(m_hashes.size());
    m_pool.insert(m_pool.end(), reinterpret_cast<const char16_t*>(text.utf16()),
                  reinterpret_cast<const char16_t*>(text.utf16()) + text.size());
    m_offsets.push_back(m_pool.size());
    m_hashes.push_back(h);
    m_slots[slot] = index + 1;
    if (m_hashes.size() * 2 > m_slots.size())
        rehash(m_slots.size() * 2);
    return index;
}

void StringTable::clear()
{
    std::vector<char16_t>().swap(m_pool);
    std::vector<uint64_t>{0}.swap(m_offsets);
    std::vector<uint32_t>().swap(m_hashes);
    std::vector<uint32_t>().swap(m_slots);
}

void StringTable::rehash(size_t slotCount)
{
    std::vector<uint32_t> table(slotCount, 0);
    const size_t mask = slotCount - 1;
    for (uint32_t i = 0; i < m_hashes.size(); ++i) {
        size_t slot = m_hashes[i] & mask;
        while (table[slot])
            slot = (slot + 1) & mask;
        table[slot] = i + 1;
    }
    m_slots.swap(table);
}

} // namespace quill::workbook
