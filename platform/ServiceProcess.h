// A long-running service process: stop requests taken by one waiting thread, broken
// connections that end an exchange rather than the process, and room for many open files.
//
//     PrepareServiceProcess(); // before any thread starts
//     ... start the service's threads ...
//     const StopRequest stop = WaitForStopRequest();
#pragma once

#include <string>

namespace corvane {

// What the system asked the service to stop for: the service manager ending it, or someone
// interrupting it from its terminal.
enum class StopRequest {
    Terminate,
    Interrupt,
};

// To be called before any thread starts: holds back stop requests in this thread and so in
// every thread started after it (they are taken by WaitForStopRequest alone), keeps a client
// gone mid-answer from ending the process (it ends that exchange only), raises the limit of
// open files to the hard limit, one handle per connection and one per file being served, and
// keeps memory freed by ended connections for the next ones.
void PrepareServiceProcess();

// Blocks until the system asks the service to stop.
StopRequest WaitForStopRequest();

// The stop request as the system delivered it, for the service's log ("sinal 15").
std::string DescribeStopRequest(StopRequest request);

// Raises the limit of open files to the hard limit (PrepareServiceProcess does it too).
void RaiseOpenFileLimit();

// The number of files this process may hold open.
long OpenFileLimit();

} // namespace corvane
