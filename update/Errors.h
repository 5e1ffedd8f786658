// The errors the update layer raises: HTTP exchanges, base URLs, JSON file lists, ISO 8601
// dates and keyed lists. Each carries the system's own message as what().
#pragma once

#include "platform/Errors.h"

namespace corvane {

// A value of one type read as another ("Invalid class typecast").
class InvalidCast : public Exception {
public:
    using Exception::Exception;
};

// A date or time text or value that is not valid.
class DateTimeException : public Exception {
public:
    using Exception::Exception;
};

// A key added twice to a keyed list ("Duplicates not allowed").
class ListError : public Exception {
public:
    using Exception::Exception;
};

// A base URL that cannot be used ("Protocol field is empty", "Host field is empty").
class NetUriException : public Exception {
public:
    using Exception::Exception;
};

// A failed HTTP exchange ("REST request failed: ...", "HTTP/1.1 500 ...").
class HttpError : public Exception {
public:
    using Exception::Exception;
};

} // namespace corvane
