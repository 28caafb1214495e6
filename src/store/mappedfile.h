#pragma once

#include "result.h"

#include <QString>
#include <QtGlobal>

#include <memory>

namespace vorn::store {

// A read-only mapping of a whole file that survives the file being cut
// short while it is mapped.
//
// The manager packs and truncates the live table whenever it likes. A plain
// mapping would then kill the reader with SIGBUS on the first page past the
// new end. Every mapping made here is registered with one process-wide
// SIGBUS handler; a fault inside a registered mapping is answered by
// putting a page of blanks where the vanished page was, so the reader sees
// blank records, just as it does for records the header promises but the
// file lacks. Faults anywhere else go on to the handler that was there
// before (or kill the process as they would have).
//
// The table the program re-reads every tick keeps its mapping between opens
// (a few recent files are kept, keyed by device and inode): its pages stay
// mapped, and a table that grows within the mapping's headroom is shown
// without mapping anything again. Through a shared mapping the bytes are
// always the file's current ones; a mapping that had pages cut is never
// handed out again.
//
// Only on Linux and other POSIX systems; elsewhere (and when disabled)
// map() fails and the caller reads the file instead. On Windows a mapped
// file could not be truncated by its writer at all, which would stall the
// manager, so reading is the right choice there anyway.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile &&other) noexcept;
    MappedFile &operator=(MappedFile &&other) noexcept;
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // Shows the file's current length. A failure, with the reason, when the
    // file cannot be opened, is empty, mapping is off or unsupported, or
    // every guard slot is taken; the caller then reads the file instead.
    Result map(const QString &path);
    void unmap();
    // Another hold on the same mapping: its pages stay mapped (and follow
    // the same file, whatever now has its name) until every hold lets go.
    MappedFile share() const;

    bool isMapped() const { return m_data != nullptr; }
    const char *data() const { return m_data; }
    qint64 size() const { return m_size; }
    // The file's length now, which the writer may have changed since map();
    // -1 when it cannot be told.
    qint64 currentSize() const;

    // The system's page: a cut shows zeros up to the end of the page that
    // holds the new end of the file.
    static qint64 systemPageSize();

    // Mapping is on by default where supported. Tests switch it off to drive
    // the reading path on Linux too.
    static bool supported();
    static void setEnabled(bool enabled);
    static bool enabled();

    // For tests: mappings alive now (in use or kept), and forgetting the
    // kept ones.
    static int activeCount();
    static void dropKept();

    struct Region;

private:
    std::shared_ptr<Region> m_region;
    const char *m_data = nullptr;
    qint64 m_size = 0;
};

} // namespace vorn::store
