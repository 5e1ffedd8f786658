#include "launcher/QtMainThreadDispatcher.h"

#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <memory>
#include <utility>

namespace corvane {

void QtMainThreadDispatcher::Post(Proc call) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
        return; // No loop will ever run it: dropping the call tells the waiters.
    // Shared, so that the queued functor can be copied; when the application ends with the
    // call still queued, Qt destroys it unrun, which is what Post promises.
    auto shared = std::make_shared<Proc>(std::move(call));
    QMetaObject::invokeMethod(
        application,
        [shared] {
            try {
                (*shared)();
            } catch (...) {
                HandleException(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

bool QtMainThreadDispatcher::IsMainThread() const {
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

} // namespace corvane
