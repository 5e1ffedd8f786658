// Processes: starting another program as a process of its own, detached from the launcher, and
// setting up a long-running service process (stop signals, broken connections, open files).
//
//     StartDetachedProcess("C:\\Corvane\\Estoque.exe", StartupInfo{}); // never waited for;
//                                                                     // EOSError if it cannot run
//
//     PrepareServiceProcess(); // before any thread starts
//     ... start the service's threads ...
//     WaitForStopSignal();
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// --- Starting a program ----------------------------------------------------------------------

// How a started program shows its first window (the values of the Windows show commands).
enum class ShowWindow : int {
    Hide = 0,
    ShowNormal = 1,
};

// The start-up settings the process starter applies to every program it starts. Starts out
// empty: no setting is applied until useShowWindow is set. No standard handles, window
// position or size are ever passed on; a started program gets its own.
struct StartupInfo {
    bool useShowWindow = false;
    ShowWindow showWindow = ShowWindow::Hide;

    friend bool operator==(const StartupInfo&, const StartupInfo&) = default;
};

// Starts the program at program: the path is the program exactly as given (never split at
// blanks, never looked up on the search path), it gets no arguments, the launcher's
// environment and current directory. The launcher does not wait for it and it leaves no
// zombie behind: it is started from a short-lived intermediate process, so it belongs to the
// system's reaper from the start. startupInfo says how its first window shows; the desktop
// shows a new program's first window normally, which is all ShowNormal asks for here.
// Throws EOSError with the system's message when the program could not be started (missing,
// not a program, not executable, refused); it has then not run at all.
void StartDetachedProcess(const std::string& program, const StartupInfo& startupInfo);

// The system's number for this process.
long CurrentProcessId();

// --- A service process -----------------------------------------------------------------------

// To be called before any thread starts: blocks SIGTERM and SIGINT in this thread and so in
// every thread started after it (they are taken by WaitForStopSignal alone), ignores SIGPIPE
// (a client gone mid-answer must end that exchange, not the process), raises the limit of
// open files to the hard limit, one handle per connection and one per file being served, and
// keeps memory freed by ended connections for the next ones.
void PrepareServiceProcess();

// Blocks until SIGTERM or SIGINT arrives; returns its number.
int WaitForStopSignal();

// Raises the limit of open files to the hard limit (PrepareServiceProcess does it too).
void RaiseOpenFileLimit();

// The number of files this process may hold open.
long OpenFileLimit();

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

} // namespace corvane
