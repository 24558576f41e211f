#include "MessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>

#include "TSynchronizer.h"

namespace ksv {

namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::User + 27);

// Lives on the window's thread; the events that wake it drain the
// synchronizer's queue there, in any message loop, nested ones included.
// Only the drain event is ever posted to it, and the toolkit hands events of
// user types to customEvent, so the event itself is never read here.
class TPumpObject : public QObject {
protected:
    void customEvent(QEvent*) override { TSynchronizer::Instance().Drain(); }
};

QObject* gPump = nullptr;

} // namespace

void InstallSynchronizerPump()
{
    auto& sync = TSynchronizer::Instance();
    sync.BindMainThread();
    if (!gPump) {
        gPump = new TPumpObject;
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] { gPump = nullptr; });
        gPump->setParent(QCoreApplication::instance());
    }
    QObject* target = gPump;
    sync.SetWakeHook([target] {
        // A plain event, posted thread-safely: the toolkit hands it over and
        // frees it, and no call object of ours crosses the threads.
        QCoreApplication::postEvent(target, new QEvent(kDrainEvent));
    });
    sync.SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

void SleepAndProcessMessages(int milliseconds)
{
    TSynchronizer::Instance().ServeFor(std::chrono::milliseconds(milliseconds));
    QCoreApplication::processEvents();
}

} // namespace ksv
