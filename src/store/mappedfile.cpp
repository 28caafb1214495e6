#include "mappedfile.h"

#include "readbuffer.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define VORN_CAN_MAP 1
#else
#define VORN_CAN_MAP 0
#endif

namespace vorn::store {

namespace {

std::atomic<bool> mappingEnabled{VORN_CAN_MAP != 0};

} // namespace

#if VORN_CAN_MAP

namespace {

// The handler looks mappings up without locks: a signal may arrive in any
// thread at any moment, so the table is a fixed array of atomics. A fill
// holds three tables, the refresh thread one more and a few are kept for
// the next open; 64 leaves room for any realistic use, and a full table
// only means reading instead of mapping.
constexpr int guardSlots = 64;

struct GuardSlot {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<int> cut{0};
};

GuardSlot guards[guardSlots];
struct sigaction previousAction;
std::uintptr_t pageSize = 4096;
std::once_flag prepareOnce;
bool prepared = false;
int blankPage = -1;   // a file of one page of blanks, put over vanished pages

// Hands a fault that is not ours on as if we had never been there: the
// handler that was in place before comes back, and the faulting access,
// run again when we return, reaches it with the system's own dispatch (its
// flags, its mask, a reset-on-delivery). Calling it from here would not:
// a handler that expects to be reset and raises the signal again would
// come back to us forever. A SIGBUS sent by another process is raised
// again; it stays pending until we return. The next mapping puts the
// guard back.
void passOn(int signal, siginfo_t *info)
{
    sigaction(signal, &previousAction, nullptr);
    if (info == nullptr || info->si_code <= 0)
        raise(signal);
}

void onBusError(int signal, siginfo_t *info, void *)
{
    const int savedErrno = errno;
    const std::uintptr_t address = info ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
    if (info && info->si_code > 0) {
        for (GuardSlot &slot : guards) {
            const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
            if (begin == 0 || address < begin || address >= slot.end.load(std::memory_order_acquire))
                continue;
            // The page went with the file's end: put a page of blanks in its
            // place. It arrives read-only and whole in one call, so threads
            // faulting on the same page at once may all do it, in any order.
            void *page = reinterpret_cast<void *>(address & ~(pageSize - 1));
            if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_FIXED, blankPage, 0) == MAP_FAILED)
                break;
            slot.cut.fetch_add(1, std::memory_order_relaxed);
            errno = savedErrno;
            return;
        }
    }
    passOn(signal, info);
    errno = savedErrno;
}

int makeBlankPage()
{
#if defined(Q_OS_LINUX)
    const int fd = memfd_create("vorn-blank-page", MFD_CLOEXEC);
#else
    char name[] = "/tmp/vorn-blank-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        unlink(name);
#endif
    if (fd < 0)
        return -1;
    std::vector<char> blanks(pageSize, ' ');
    if (::write(fd, blanks.data(), blanks.size()) != ssize_t(blanks.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool prepareGuard()
{
    const long size = sysconf(_SC_PAGESIZE);
    if (size > 0)
        pageSize = std::uintptr_t(size);
    blankPage = makeBlankPage();
    return blankPage >= 0;
}

// Puts the handler in place unless it is there already; somebody may have
// replaced it, or a foreign fault handed the signal back. Under the kept
// mappings' lock, so two threads never install at once.
bool installHandler()
{
    struct sigaction current {};
    if (sigaction(SIGBUS, nullptr, &current) != 0)
        return false;
    if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == onBusError)
        return true;
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &previousAction) == 0;
}

int claimSlot()
{
    for (int i = 0; i < guardSlots; ++i) {
        bool expected = false;
        if (guards[i].taken.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
            guards[i].cut.store(0, std::memory_order_relaxed);
            return i;
        }
    }
    return -1;
}

// Closes the descriptor on every way out of map() but the one that keeps it.
struct FileHandle {
    explicit FileHandle(int descriptor) : fd(descriptor) {}
    ~FileHandle()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int release() { return std::exchange(fd, -1); }
    int fd;
};

std::uintptr_t wholePages(std::uintptr_t bytes)
{
    return (bytes + pageSize - 1) & ~(pageSize - 1);
}

} // namespace

// One mmap of a file, registered with the guard for as long as it lives.
struct MappedFile::Region {
    const char *base = nullptr;
    std::uintptr_t length = 0;
    int slot = -1;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    quint64 lastUse = 0;

    ~Region()
    {
        GuardSlot &guard = guards[slot];
        guard.begin.store(0, std::memory_order_release);
        guard.end.store(0, std::memory_order_release);
        ::munmap(const_cast<char *>(base), length);
        guard.taken.store(false, std::memory_order_release);
        ::close(fd);
    }

    int cut() const { return guards[slot].cut.load(std::memory_order_relaxed); }
};

namespace {

// Mappings kept for the next open of the same file. Few: the schedule, the
// plan and the process table, and the one the refresh reads off-thread.
constexpr std::size_t keptRegions = 4;

struct Kept {
    std::mutex mutex;
    std::vector<std::shared_ptr<MappedFile::Region>> regions;
    quint64 clock = 0;
};

Kept &kept()
{
    static Kept instance;
    return instance;
}

// A live table grows a record at a time: headroom lets it grow for a while
// inside the same mapping. Pages past the file's end are never touched.
std::uintptr_t withHeadroom(std::uintptr_t size)
{
    return wholePages(std::uintptr_t(WithGrowthHeadroom(qint64(size))));
}

} // namespace

#else

struct MappedFile::Region {
};

#endif

MappedFile::~MappedFile()
{
    unmap();
}

MappedFile::MappedFile(MappedFile &&other) noexcept
    : m_region(std::move(other.m_region))
    , m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

MappedFile &MappedFile::operator=(MappedFile &&other) noexcept
{
    if (this != &other) {
        m_region = std::move(other.m_region);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

Result MappedFile::map(const QString &path)
{
    unmap();
    const auto fail = [](const QString &why) { return Result::failure(why); };
#if VORN_CAN_MAP
    if (!enabled())
        return fail(QStringLiteral("mapping is switched off"));
    std::call_once(prepareOnce, [] { prepared = prepareGuard(); });
    if (!prepared)
        return fail(QStringLiteral("no page of blanks for files cut short: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));

    // Never waits: a pipe put where the table was is refused below.
    FileHandle file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return fail(QStringLiteral("not a plain file"));
    if (info.st_size <= 0 || std::uint64_t(info.st_size) > std::uint64_t(SIZE_MAX / 4))
        return fail(info.st_size <= 0 ? QStringLiteral("empty file") : QStringLiteral("file too large to map"));
    const std::uintptr_t size = std::uintptr_t(info.st_size);

    Kept &keep = kept();
    std::lock_guard lock(keep.mutex);
    if (!installHandler())
        return fail(QStringLiteral("no SIGBUS handler: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    auto &regions = keep.regions;
    // A file deleted or renamed over would keep its disk space as long as it
    // stays mapped: let it go as soon as anything is opened next.
    std::erase_if(regions, [](const auto &region) {
        struct stat kept {};
        return ::fstat(region->fd, &kept) != 0 || kept.st_nlink == 0;
    });
    // A region of another inode, or with pages cut, or too short, is no use.
    auto same = std::find_if(regions.begin(), regions.end(), [&](const auto &region) {
        return region->device == info.st_dev && region->inode == info.st_ino;
    });
    if (same != regions.end() && ((*same)->cut() > 0 || (*same)->length < size)) {
        regions.erase(same);
        same = regions.end();
    }
    std::shared_ptr<Region> region;
    if (same != regions.end()) {
        region = *same;
        region->lastUse = ++keep.clock;
    } else {
        const int slot = claimSlot();
        if (slot < 0)
            return fail(QStringLiteral("every guard slot is taken"));
        const std::uintptr_t length = withHeadroom(size);
        void *base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, file.fd, 0);
        if (base == MAP_FAILED) {
            guards[slot].taken.store(false, std::memory_order_release);
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
        // Registered before anyone reads it, so no fault can come first.
        guards[slot].end.store(reinterpret_cast<std::uintptr_t>(base) + length, std::memory_order_release);
        guards[slot].begin.store(reinterpret_cast<std::uintptr_t>(base), std::memory_order_release);
        region = std::make_shared<Region>();
        region->base = static_cast<const char *>(base);
        region->length = length;
        region->slot = slot;
        region->device = info.st_dev;
        region->inode = info.st_ino;
        region->fd = file.release();   // kept to see whether the file is still there
        region->lastUse = ++keep.clock;   // before the eviction below, which must spare it
        regions.push_back(region);
        if (regions.size() > keptRegions) {
            auto oldest = std::min_element(regions.begin(), regions.end(),
                                           [](const auto &a, const auto &b) { return a->lastUse < b->lastUse; });
            regions.erase(oldest);
        }
    }
    m_region = std::move(region);
    m_data = m_region->base;
    m_size = qint64(size);
    return Result::success();
#else
    Q_UNUSED(path);
    return fail(QStringLiteral("files are not mapped on this platform"));
#endif
}

MappedFile MappedFile::share() const
{
    MappedFile copy;
    copy.m_region = m_region;
    copy.m_data = m_data;
    copy.m_size = m_size;
    return copy;
}

void MappedFile::unmap()
{
    m_region.reset();
    m_data = nullptr;
    m_size = 0;
}

qint64 MappedFile::currentSize() const
{
#if VORN_CAN_MAP
    struct stat info {};
    if (m_region && ::fstat(m_region->fd, &info) == 0)
        return qint64(info.st_size);
#endif
    return -1;
}

qint64 MappedFile::systemPageSize()
{
#if VORN_CAN_MAP
    return qint64(pageSize);
#else
    return 4096;
#endif
}

bool MappedFile::supported()
{
    return VORN_CAN_MAP != 0;
}

void MappedFile::setEnabled(bool enabled)
{
    mappingEnabled.store(enabled && supported());
}

bool MappedFile::enabled()
{
    return mappingEnabled.load();
}

int MappedFile::activeCount()
{
    int count = 0;
#if VORN_CAN_MAP
    for (const GuardSlot &slot : guards)
        count += slot.taken.load(std::memory_order_acquire) ? 1 : 0;
#endif
    return count;
}

void MappedFile::dropKept()
{
#if VORN_CAN_MAP
    Kept &keep = kept();
    std::lock_guard lock(keep.mutex);
    keep.regions.clear();
#endif
}

} // namespace vorn::store
