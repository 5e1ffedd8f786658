// The system's error classes. Each carries the system's own message as what().
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// General error: the base of every error the system raises.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A value of one type read as another ("Invalid class typecast").
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

// A value that cannot be converted to the type asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A date or time text or value that is not valid.
class EDateTimeException : public Exception {
public:
    using Exception::Exception;
};

// An argument that is not acceptable, such as a path with characters not allowed in paths.
class EArgumentException : public Exception {
public:
    using Exception::Exception;
};

// A failed operating-system call; the message is the system's own text for the code.
class EOSError : public Exception {
public:
    EOSError(const std::string& message, int errorCode)
        : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

// A folder that does not exist ("The specified path was not found").
class EDirectoryNotFoundException : public Exception {
public:
    using Exception::Exception;
};

// A path at or over the system's length limit ("The specified path is too long").
class EPathTooLongException : public Exception {
public:
    using Exception::Exception;
};

// A key added twice to a keyed list ("Duplicates not allowed").
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A base URL that cannot be used ("Protocol field is empty", "Host field is empty").
class ENetURIException : public Exception {
public:
    using Exception::Exception;
};

// A failed HTTP exchange ("REST request failed: ...", "HTTP/1.1 500 ...").
class ERESTException : public Exception {
public:
    using Exception::Exception;
};

// The clipboard cannot be opened or does not take the text ("Cannot open clipboard: ...").
class EClipboardException : public Exception {
public:
    using Exception::Exception;
};

} // namespace corvane
