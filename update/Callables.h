// Callable types shared across the system: parameterless procedures and event handlers.
#pragma once

#include <functional>

namespace corvane {

// A callable without arguments and without result; it may carry captured values, which live
// as long as the last copy of the procedure.
using TProc = std::function<void()>;

// The object that raised an event. Handlers that need its own type cast it.
class TObject {
public:
    virtual ~TObject() = default;
};

// An event handler: a method of an object that takes the sender object.
using TNotifyEvent = std::function<void(TObject* Sender)>;

} // namespace corvane
