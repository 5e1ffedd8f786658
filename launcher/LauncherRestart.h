// What the launcher does between replacing its own executable and starting the new copy.
#pragma once

#include <functional>

namespace corvane {

// Set by the single-instance control: makes this process leave the single-instance registry,
// so the new copy started after a self-replacement does not hand over to the ending process
// (which would leave no launcher running). Called, when set, just before the new copy starts.
extern std::function<void()> LeaveSingleInstanceBeforeRestart;

} // namespace corvane
