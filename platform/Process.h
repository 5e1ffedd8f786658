// Processes: this program's own arguments and start-up, and starting another program as a
// process of its own, detached from the launcher.
// (A long-running service process is set up by platform/ServiceProcess.h.)
//
//     // Never waited for; SystemError if it cannot run.
//     StartDetachedProcess("C:\\Corvane\\Estoque.exe", StartupInfo{});
#pragma once

#include <string>
#include <vector>

namespace corvane {

// --- This program ----------------------------------------------------------------------------

// The arguments this program was started with, after its own name, as UTF-8 text: main's argv
// as it is on POSIX; on Windows, where argv is in the code page, the system's UTF-16 command
// line read the way the C runtime splits it.
std::vector<std::string> ProgramArguments(int argc, const char* const* argv);

// To be called once at start by a program that writes large files: a write beyond the
// system's file size limit then fails with the system's message, like a full disk, instead of
// ending the process.
void ReportFileSizeLimitAsWriteError();

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
// Throws SystemError with the system's message when the program could not be started (missing,
// not a program, not executable, refused); it has then not run at all.
void StartDetachedProcess(const std::string& program, const StartupInfo& startupInfo);

// The system's number for this process.
long CurrentProcessId();

} // namespace corvane
