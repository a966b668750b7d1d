#pragma once

#include <QStringView>
#include <cstdint>
#include <vector>

namespace quill::workbook {

// Interned strings in one UTF-16 pool; an index is the string's place in the shared string table.
class StringTable
{
public:
    uint32_t intern(QStringView text);
    uint32_t size() const { return static_cast<uint32_t>(m_hashes.size()); }
    QStringView at(uint32_t index) const
    {
        return QStringView(m_pool.data() + m_offsets[index], qsizetype(m_offsets[index + 1] - m_offsets[index]));
    }
    void clear();

private:
    void rehash(size_t slotCount);

    std::vector<char16_t> m_pool;
    std::vector<uint64_t> m_offsets{0}; // string i is [m_offsets[i], m_offsets[i+1])
    std::vector<uint32_t> m_hashes;
    std::vector<uint32_t> m_slots; // index + 1; 0 is empty
};

} // namespace quill::workbook
