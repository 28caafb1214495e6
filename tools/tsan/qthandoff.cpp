// Linked into every program of the ThreadSanitizer build (VORN_TSAN). Debian's
// Qt is not built with ThreadSanitizer, so the locks of its event queues are
// invisible to it, and every functor our code hands to another thread with
// QMetaObject::invokeMethod would be reported as a race between the code that
// made it and the code that runs it. This stands in front of Qt's
// QMetaObject::invokeMethodImpl and tells ThreadSanitizer what the queue
// guarantees: everything done before the hand-off happens before the functor
// runs (and before it is destroyed), and for a blocking call everything the
// functor did happens before the caller goes on. It does the same for the end
// of a QThread: what the thread did before it finished happens before a
// QThread::wait that saw it end returns. Nothing else is hidden: a race
// between a hand-off and anything else is still reported.

#include <QObject>
#include <QThread>

#include <dlfcn.h>

extern "C" {
void __tsan_acquire(void *address);
void __tsan_release(void *address);
}

namespace {

// The blocking calls' return: the functor is gone by then, so its own address
// cannot carry it.
char blockingReturn;

class HandOff : public QtPrivate::QSlotObjectBase {
public:
    explicit HandOff(QtPrivate::QSlotObjectBase *functor) : QSlotObjectBase(&impl), m_functor(functor)
    {
        __tsan_release(this);
    }

private:
    // Qt serialises what it asks of one slot object, on whichever thread:
    // each request sees what the ones before it did.
    static void impl(int which, QSlotObjectBase *self, QObject *receiver, void **arguments, bool *result)
    {
        auto *handOff = static_cast<HandOff *>(self);
        __tsan_acquire(handOff);
        switch (which) {
        case Destroy:
            handOff->m_functor->destroyIfLastRef();
            delete handOff;
            return;
        case Call:
            handOff->m_functor->call(receiver, arguments);
            __tsan_release(&blockingReturn);
            break;
        case Compare:
            *result = handOff->m_functor->compare(arguments);
            break;
        default:
            break;
        }
        __tsan_release(handOff);
    }

    QtPrivate::QSlotObjectBase *m_functor;
};

} // namespace

bool QMetaObject::invokeMethodImpl(QObject *object, QtPrivate::QSlotObjectBase *slot, Qt::ConnectionType type,
                                   void *ret)
{
    using Impl = bool (*)(QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *);
    static const auto qt = reinterpret_cast<Impl>(
        dlsym(RTLD_NEXT, "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv"));
    const bool invoked = qt(object, new HandOff(slot), type, ret);
    if (type == Qt::BlockingQueuedConnection)
        __tsan_acquire(&blockingReturn);
    return invoked;
}

void QThread::start(Priority priority)
{
    using Impl = void (*)(QThread *, Priority);
    static const auto qt = reinterpret_cast<Impl>(dlsym(RTLD_NEXT, "_ZN7QThread5startENS_8PriorityE"));
    // Emitted on the thread itself, as the last thing it does for us.
    QObject::connect(this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    qt(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    using Impl = bool (*)(QThread *, QDeadlineTimer);
    static const auto qt = reinterpret_cast<Impl>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool ended = qt(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
