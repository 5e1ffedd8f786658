// Feeds arbitrary bytes to the text rules of the HTTP clients: the URL normalising and the two
// encodings (which must decode back to their input), the gzip inflating (bounded output) and
// the character-set decoding. Each either gives a result or raises its own error class.
#include "update/Errors.h"
#include "update/HttpText.h"
#include "update/HttpUrl.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace corvane;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // the encoders write upper-case digits only
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            std::abort(); // an escape always carries two digits
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            std::abort();
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

void CheckEncoding(std::string (*encode)(std::string_view), std::string_view text) {
    const std::string encoded = encode(text);
    for (const char c : encoded) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= ' ' || b >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '#')
            std::abort();
    }
    if (PercentDecode(encoded) != text)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    try {
        const Url uri = NormalizeURL(text);
        const std::string url = uri.ToString();
        if (uri.host.empty() || url.find('#') != std::string::npos ||
            (!url.empty() && url.back() == '/'))
            std::abort();
    } catch (const NetUriException&) {
    }

    CheckEncoding(EncodeURLPath, text);
    CheckEncoding(EncodeQueryText, text);
    const std::string value = EncodeQueryValue(text);
    if (value.find(' ') != std::string::npos)
        std::abort();

    constexpr size_t limit = 1 << 20;
    try {
        if (InflateGzip(text, limit).size() > limit)
            std::abort();
    } catch (const HttpError&) {
    }

    // The first line names the character set, the rest is the text.
    const size_t newline = text.find('\n');
    if (newline != std::string_view::npos && newline < 40) {
        try {
            ToUTF8(text.substr(newline + 1), text.substr(0, newline));
            DecodeBodyText(text.substr(newline + 1),
                           "text/plain; charset=" + std::string(text.substr(0, newline)), "",
                           limit);
        } catch (const ConvertError&) {
        }
    }
    ContentTypeCharset(text);
    return 0;
}
