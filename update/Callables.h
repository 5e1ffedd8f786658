// Callable types shared across the system.
#pragma once

#include <functional>

namespace corvane {

// A callable without arguments and without result; it may carry captured values, which live
// as long as the last copy of the procedure.
using Proc = std::function<void()>;

} // namespace corvane
