#include "readbuffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vorn::store {

namespace {

struct Slot {
    std::unique_ptr<char[]> data;
    qint64 capacity = 0;
};

// A fill opens three tables at once; a few buffers cover that and the clean.
constexpr std::size_t maxPooled = 4;

std::vector<Slot> &pool()
{
    thread_local std::vector<Slot> slots;
    return slots;
}

} // namespace

ReadBuffer::~ReadBuffer()
{
    release();
}

ReadBuffer::ReadBuffer(ReadBuffer &&other) noexcept
    : m_data(std::move(other.m_data))
    , m_capacity(std::exchange(other.m_capacity, 0))
    , m_size(std::exchange(other.m_size, 0))
{
}

ReadBuffer &ReadBuffer::operator=(ReadBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::move(other.m_data);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ReadBuffer ReadBuffer::take(qint64 capacity)
{
    ReadBuffer buffer;
    // The smallest pooled buffer that fits; a smaller one would only be
    // thrown away by the growth below, so it stays in the pool.
    auto &slots = pool();
    auto best = slots.end();
    for (auto it = slots.begin(); it != slots.end(); ++it) {
        if (it->capacity >= capacity && (best == slots.end() || it->capacity < best->capacity))
            best = it;
    }
    if (best != slots.end()) {
        buffer.m_data = std::move(best->data);
        buffer.m_capacity = best->capacity;
        slots.erase(best);
    }
    buffer.resize(capacity);
    buffer.m_size = 0;
    return buffer;
}

void ReadBuffer::resize(qint64 size)
{
    Q_ASSERT(size >= 0);
    if (size > m_capacity) {
        const qint64 capacity = WithGrowthHeadroom(size);
        auto grown = std::make_unique_for_overwrite<char[]>(std::size_t(capacity));
        if (m_size > 0)
            std::memcpy(grown.get(), m_data.get(), std::size_t(m_size));
        m_data = std::move(grown);
        m_capacity = capacity;
    }
    m_size = size;
}

void ReadBuffer::release()
{
    if (!m_data)
        return;
    auto &slots = pool();
    slots.push_back({std::move(m_data), m_capacity});
    if (slots.size() > maxPooled) {
        auto smallest = std::min_element(slots.begin(), slots.end(),
                                         [](const Slot &a, const Slot &b) { return a.capacity < b.capacity; });
        slots.erase(smallest);
    }
    m_capacity = 0;
    m_size = 0;
}

} // namespace vorn::store
