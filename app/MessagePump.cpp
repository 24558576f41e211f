#include "MessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>

#include "TSynchronizer.h"

namespace ksv {

namespace {

// Lives on the window's thread; each posted wake event drains the queue.
class TSyncPumpObject : public QObject {
public:
    static QEvent::Type WakeType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    bool event(QEvent* e) override
    {
        if (e->type() != WakeType()) return QObject::event(e);
        TSynchronizer::Instance().Drain();
        return true;
    }
};

TSyncPumpObject* gPump = nullptr;

} // namespace

void InstallSynchronizerPump()
{
    auto& sync = TSynchronizer::Instance();
    sync.BindMainThread();
    if (!gPump) {
        gPump = new TSyncPumpObject;
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] { gPump = nullptr; });
        gPump->setParent(QCoreApplication::instance());
    }
    TSyncPumpObject* target = gPump;
    sync.SetWakeHook([target] {
        // postEvent is thread-safe; the application deletes the event.
        QCoreApplication::postEvent(target, new QEvent(TSyncPumpObject::WakeType()));
    });
    sync.SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

void SleepAndProcessMessages(int milliseconds)
{
    TSynchronizer::Instance().ServeFor(std::chrono::milliseconds(milliseconds));
    QCoreApplication::processEvents();
}

} // namespace ksv
