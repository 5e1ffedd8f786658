// The errors of the file system and the operating system, and the system's message for an
// error code. Each error carries the system's own message as what(); the layers above add the
// errors they raise themselves (update/Errors.h, dialogs/Clipboard.h).
//
//     if (!renamed)
//         throw SystemError(SystemErrorMessage(errno), errno); // "Permission denied"
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// General error: the base of every error the system raises.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A value that cannot be converted to the type asked for ("Invalid argument to date encode").
class ConvertError : public Exception {
public:
    using Exception::Exception;
};

// An argument that is not acceptable, such as a path with characters not allowed in paths.
class ArgumentException : public Exception {
public:
    using Exception::Exception;
};

// A failed operating-system call; the message is the system's own text for the code.
class SystemError : public Exception {
public:
    SystemError(const std::string& message, int code) : Exception(message), errorCode(code) {}
    int errorCode;
};

// A folder that does not exist ("The specified path was not found").
class DirectoryNotFoundException : public Exception {
public:
    using Exception::Exception;
};

// A path at or over the system's length limit ("The specified path is too long").
class PathTooLongException : public Exception {
public:
    using Exception::Exception;
};

// The system's message for an error code of its calls, as error reports show it.
std::string SystemErrorMessage(int errorCode);

} // namespace corvane
