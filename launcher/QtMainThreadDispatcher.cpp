#include "launcher/QtMainThreadDispatcher.h"

#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <memory>
#include <utility>

namespace corvane {

void TQtMainThreadDispatcher::Post(TProc ACall) {
    QCoreApplication* LApplication = QCoreApplication::instance();
    if (LApplication == nullptr)
        return; // No loop will ever run it: dropping the call tells the waiters.
    // Shared, so that the queued functor can be copied; when the application ends with the
    // call still queued, Qt destroys it unrun, which is what Post promises.
    auto LCall = std::make_shared<TProc>(std::move(ACall));
    QMetaObject::invokeMethod(
        LApplication,
        [LCall] {
            try {
                (*LCall)();
            } catch (...) {
                HandleException(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

bool TQtMainThreadDispatcher::IsMainThread() const {
    const QCoreApplication* LApplication = QCoreApplication::instance();
    return LApplication != nullptr && QThread::currentThread() == LApplication->thread();
}

void TQtMainThreadDispatcher::ProcessMessages() {
    if (IsMainThread())
        QCoreApplication::processEvents();
}

} // namespace corvane
