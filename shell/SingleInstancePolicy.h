// One running launcher per executable file: what makes two starts the same application and
// what a second start tells the first. The registry itself (a lock and a local socket, or the
// Windows equivalents) belongs to the view; the first launcher's answer is
// Launcher::SecondStartArrived.
//
//   if (!registry.Claim(InstanceKey(ExecutablePath()), HandOverMessage(arguments)))
//       return kSecondStartExitCode;
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The exit code of a second start once it has handed over to the running launcher.
inline constexpr int kSecondStartExitCode = 0;

// The registry name of an executable: equal for paths that differ only in letter case (and in
// redundant "." or ".." steps), different for copies in different folders. Safe as a file name.
std::string InstanceKey(std::string_view executablePath);

// What a second start sends the running launcher: its arguments, one per line, and a final
// null that marks the message complete. The running launcher ignores the arguments.
std::string HandOverMessage(const std::vector<std::string>& arguments);

} // namespace corvane
