// Process set-up of a long-running service: stop signals, broken connections, open files.
#pragma once

#include <string_view>

namespace corvane {

// To be called before any thread starts: blocks SIGTERM and SIGINT in this thread and so in
// every thread started after it (they are taken by WaitForStopSignal alone), ignores SIGPIPE
// (a client gone mid-answer must end that exchange, not the process) and raises the limit of
// open files to the hard limit, one handle per connection and one per file being served.
void PrepareServiceProcess();

// Blocks until SIGTERM or SIGINT arrives; returns its number.
int WaitForStopSignal();

// Raises the limit of open files to the hard limit (PrepareServiceProcess does it too).
void RaiseOpenFileLimit();

// Ends a connection from our side (both directions) without closing its handle, which
// stays with its owner; the owner's next read or write on it fails.
void EndConnection(int socket);

// Sends a last answer on a connection, as far as the socket takes it without waiting, then
// ends the connection as EndConnection does. True when the whole answer was handed over.
bool SendLastAnswer(int socket, std::string_view answer);

// Sets the size of a socket's send buffer, the most the kernel holds of what is sent and not
// yet taken by the peer; connections accepted on a listening socket after the call inherit it.
// The kernel then no longer grows the buffer by itself. False when the size is refused.
bool SetSendBuffer(int socket, int bytes);

// The number of files this process may hold open.
long OpenFileLimit();

} // namespace corvane
