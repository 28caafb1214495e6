#pragma once

#include <QtGlobal>

#include <memory>

namespace vorn::store {

// Room to grow for what holds a table that gains records as it is
// rewritten, so that it need not move every time.
inline qint64 WithGrowthHeadroom(qint64 size)
{
    return size + size / 8 + 64 * 1024;
}

// A growable byte buffer drawn from a per-thread pool and handed back to it
// when destroyed. The live table is read again every few hundred
// milliseconds; fresh pages cost far more than the copy itself, so a table
// that is opened again gets the memory of its last open back.
class ReadBuffer {
public:
    ReadBuffer() = default;
    ~ReadBuffer();
    ReadBuffer(ReadBuffer &&other) noexcept;
    ReadBuffer &operator=(ReadBuffer &&other) noexcept;
    ReadBuffer(const ReadBuffer &) = delete;
    ReadBuffer &operator=(const ReadBuffer &) = delete;

    // A buffer from this thread's pool that holds at least `capacity` bytes.
    static ReadBuffer take(qint64 capacity);

    char *data() { return m_data.get(); }
    const char *data() const { return m_data.get(); }
    qint64 size() const { return m_size; }
    qint64 capacity() const { return m_capacity; }

    // Sets the size, keeping the bytes in front; grows with some headroom so
    // that a table that gains a few records does not move every time.
    void resize(qint64 size);

private:
    void release();

    std::unique_ptr<char[]> m_data;
    qint64 m_capacity = 0;
    qint64 m_size = 0;
};

} // namespace vorn::store
