#include "MessagePump.h"

#include <QCoreApplication>
#include <QObject>
#include <chrono>

#include "TSynchronizer.h"

namespace ksv {

namespace {

// Lives on the window's thread; the queued calls that wake it drain the
// synchronizer's queue there.
QObject* gPump = nullptr;

} // namespace

void InstallSynchronizerPump()
{
    auto& sync = TSynchronizer::Instance();
    sync.BindMainThread();
    if (!gPump) {
        gPump = new QObject;
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] { gPump = nullptr; });
        gPump->setParent(QCoreApplication::instance());
    }
    QObject* target = gPump;
    sync.SetWakeHook([target] {
        // A queued call: the toolkit makes and hands over the call event
        // itself, thread-safely; the window's thread runs it in any message
        // loop, nested ones included.
        QMetaObject::invokeMethod(
            target, [] { TSynchronizer::Instance().Drain(); }, Qt::QueuedConnection);
    });
    sync.SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

void SleepAndProcessMessages(int milliseconds)
{
    TSynchronizer::Instance().ServeFor(std::chrono::milliseconds(milliseconds));
    QCoreApplication::processEvents();
}

} // namespace ksv
