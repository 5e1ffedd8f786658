#include "update/HttpText.h"

#include "update/Errors.h"
#include "update/TextTrim.h"

#include <climits>
#include <memory>
#include <unicode/ucnv.h>
#include <zlib.h>

namespace corvane {

namespace {

char LowerASCII(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerASCII(a[i]) != LowerASCII(b[i]))
            return false;
    return true;
}

bool IsUTF8Name(std::string_view charset) {
    return charset.empty() || EqualsNoCase(charset, "utf-8") || EqualsNoCase(charset, "utf8");
}

struct InflateStream {
    z_stream z{};
    bool ready = false;
    ~InflateStream() {
        if (ready)
            inflateEnd(&z);
    }
};

[[noreturn]] void FailGzip(const char* reason) {
    throw HttpError(std::string("REST request failed: Invalid gzip body: ") + reason);
}

} // namespace

std::string ContentTypeCharset(std::string_view contentType) {
    size_t pos = contentType.find(';');
    while (pos != std::string_view::npos) {
        std::string_view rest = contentType.substr(pos + 1);
        const size_t next = rest.find(';');
        std::string_view param = Trim(rest.substr(0, next), IsSpaceOrTab);
        const size_t eq = param.find('=');
        if (eq != std::string_view::npos &&
            EqualsNoCase(Trim(param.substr(0, eq), IsSpaceOrTab), "charset")) {
            std::string_view value = Trim(param.substr(eq + 1), IsSpaceOrTab);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
        pos = next == std::string_view::npos ? next : pos + 1 + next;
    }
    return {};
}

bool IsGzipEncoding(std::string_view contentEncoding) {
    const std::string_view value = Trim(contentEncoding, IsSpaceOrTab);
    return EqualsNoCase(value, "gzip") || EqualsNoCase(value, "x-gzip");
}

std::string InflateGzip(std::string_view data, size_t maxSize) {
    if (data.empty())
        return {};
    InflateStream stream;
    if (inflateInit2(&stream.z, 16 + MAX_WBITS) != Z_OK)
        FailGzip("cannot start inflating");
    stream.ready = true;

    std::string out;
    char buffer[65536];
    auto* next = reinterpret_cast<const Bytef*>(data.data());
    size_t left = data.size();
    bool ended = false;
    while (left > 0 || !ended) {
        if (ended) {
            // Another gzip member follows the first one.
            if (inflateReset(&stream.z) != Z_OK)
                FailGzip("cannot restart inflating");
            ended = false;
        }
        const uInt chunk = left > UINT_MAX ? UINT_MAX : static_cast<uInt>(left);
        stream.z.next_in = const_cast<Bytef*>(next);
        stream.z.avail_in = chunk;
        stream.z.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.z.avail_out = sizeof buffer;
        const int result = inflate(&stream.z, Z_NO_FLUSH);
        const size_t consumed = chunk - stream.z.avail_in;
        next += consumed;
        left -= consumed;
        const size_t produced = sizeof buffer - stream.z.avail_out;
        if (out.size() + produced > maxSize)
            throw HttpError("REST request failed: The answer is larger than " +
                            std::to_string(maxSize) + " bytes");
        out.append(buffer, produced);
        if (result == Z_STREAM_END) {
            ended = true;
            continue;
        }
        if (result != Z_OK && result != Z_BUF_ERROR)
            FailGzip(stream.z.msg ? stream.z.msg : "data error");
        if (left == 0 && produced == 0)
            FailGzip("unexpected end of data");
    }
    return out;
}

std::string ToUTF8(std::string_view bytes, std::string_view charset) {
    if (IsUTF8Name(charset))
        return std::string(bytes);
    const std::string name(charset);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> probe(ucnv_open(name.c_str(), &status),
                                                             &ucnv_close);
    if (U_FAILURE(status) || !probe)
        throw ConvertError("Unknown character set: " + name);
    if (bytes.empty())
        return {};
    if (bytes.size() > static_cast<size_t>(INT32_MAX / 4))
        throw ConvertError("Text too large to convert from " + name);

    const auto length = static_cast<int32_t>(bytes.size());
    status = U_ZERO_ERROR;
    const int32_t needed =
        ucnv_convert("UTF-8", name.c_str(), nullptr, 0, bytes.data(), length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        throw ConvertError("Cannot convert text from " + name);
    std::string out(static_cast<size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    ucnv_convert("UTF-8", name.c_str(), out.data(), needed, bytes.data(), length, &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw ConvertError("Cannot convert text from " + name);
    return out;
}

std::string DecodeBodyText(std::string_view body, std::string_view contentType,
                           std::string_view contentEncoding, size_t maxSize) {
    const std::string charset = ContentTypeCharset(contentType);
    if (IsGzipEncoding(contentEncoding))
        return ToUTF8(InflateGzip(body, maxSize), charset);
    return ToUTF8(body, charset);
}

} // namespace corvane
