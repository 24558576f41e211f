#include "MessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>

#if defined(__linux__)
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include "TSynchronizer.h"

namespace ksv {

namespace {

// Lives on the window's thread and drains the synchronizer's queue there, in
// any message loop, nested ones included.
class TPumpObject : public QObject {
public:
    void DrainSteps() { TSynchronizer::Instance().Drain(); }

protected:
    // Only the drain event is ever posted to it, and the toolkit hands events
    // of user types to customEvent, so the event itself is never read here.
    void customEvent(QEvent*) override { DrainSteps(); }
};

QObject* gPump = nullptr;

TPumpObject* MakePump()
{
    auto* pump = new TPumpObject;
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] { gPump = nullptr; });
    pump->setParent(QCoreApplication::instance());
    gPump = pump;
    return pump;
}

#if defined(__linux__)

// The wake-up is a write to an eventfd that a socket notifier on the window's
// thread watches. Nothing the worker allocates crosses to the window's thread,
// and the hand-off is a file-descriptor write and read, which race detectors
// see as the ordering it is. The descriptor lives as long as the process, so a
// worker that wakes the window late never writes to a closed or reused one.
int WakeDescriptor()
{
    static const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd;
}

void Wake(int fd)
{
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ClearWake(int fd)
{
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

std::function<void()> MakeWakeHook(TPumpObject* pump)
{
    const int fd = WakeDescriptor();
    if (fd < 0) return {};
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, pump);
    QObject::connect(notifier, &QSocketNotifier::activated, pump, [pump, fd] {
        ClearWake(fd);
        pump->DrainSteps();
    });
    return [fd] { Wake(fd); };
}

#else

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::User + 27);

// A plain event, posted thread-safely: the toolkit hands it over and frees it,
// and no call object of ours crosses the threads.
std::function<void()> MakeWakeHook(TPumpObject* pump)
{
    return [pump] { QCoreApplication::postEvent(pump, new QEvent(kDrainEvent)); };
}

#endif

} // namespace

void InstallSynchronizerPump()
{
    auto& sync = TSynchronizer::Instance();
    sync.BindMainThread();
    if (gPump) return;
    sync.SetWakeHook(MakeWakeHook(MakePump()));
    sync.SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

void SleepAndProcessMessages(int milliseconds)
{
    TSynchronizer::Instance().ServeFor(std::chrono::milliseconds(milliseconds));
    QCoreApplication::processEvents();
}

} // namespace ksv
