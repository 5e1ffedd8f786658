// Reading an HTTP answer body as text: gzip inflating and character-set decoding to UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// The value of the "charset" parameter of a Content-Type header value ("" when there is none).
std::string ContentTypeCharset(std::string_view contentType);

// True when a Content-Encoding header value names gzip.
bool IsGzipEncoding(std::string_view contentEncoding);

// Inflates a gzip body. Throws HttpError when the data is not valid gzip or inflates to
// more than maxSize bytes (a small body must not be able to fill the memory).
std::string InflateGzip(std::string_view data, size_t maxSize);

// Converts text in the named character set to UTF-8; an empty name means UTF-8. Bytes that
// the character set cannot map become the replacement character. Throws ConvertError
// "Unknown character set: %s" when the name is not known.
std::string ToUTF8(std::string_view bytes, std::string_view charset);

// The body as text: inflated when the encoding is gzip, then decoded from the Content-Type's
// character set (UTF-8 when none is named).
std::string DecodeBodyText(std::string_view body, std::string_view contentType,
                           std::string_view contentEncoding, size_t maxSize);

} // namespace corvane
