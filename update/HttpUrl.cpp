#include "update/HttpUrl.h"

#include "update/Errors.h"
#include "update/TextTrim.h"

#include <algorithm>

namespace corvane {

namespace {

std::string Lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

bool IsControlOrNonASCII(unsigned char byte) {
    return byte < 0x20 || byte >= 0x7F;
}

template <typename NeedsEscape> std::string Encode(std::string_view text, NeedsEscape needsEscape) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (needsEscape(byte))
            AppendEscaped(out, byte);
        else
            out += c;
    }
    return out;
}

// RFC 3986: a letter, then letters, digits, "+", "-" and ".".
bool IsSchemeName(std::string_view text) {
    const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (text.empty() || !isAlpha(text.front()))
        return false;
    return std::all_of(text.begin(), text.end(), [&](char c) {
        return isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

bool IsDefaultPort(const std::string& scheme, std::string_view port) {
    return (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
}

} // namespace

std::string Url::Origin() const {
    std::string result = scheme + "://" + host;
    if (!port.empty())
        result += ':' + port;
    return result;
}

std::string Url::ToString() const {
    std::string result = Origin() + path;
    if (hasQuery)
        result += '?' + query;
    return result;
}

Url NormalizeURL(std::string_view url) {
    std::string text(Trim(url, IsBlankOrControl));
    if (text.empty())
        throw NetUriException("Protocol field is empty");

    const size_t beforeQuery = std::min(text.find_first_of("?#"), text.size());
    std::replace(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(beforeQuery), '\\', '/');

    // A "://" counts as the end of a scheme only after a scheme name: one in the path or
    // query of a URL written without a scheme ("svc/x?u=http://y") does not.
    size_t schemeEnd = text.find("://");
    if (schemeEnd == 0)
        throw NetUriException("Protocol field is empty");
    if (schemeEnd == std::string::npos ||
        !IsSchemeName(std::string_view(text).substr(0, schemeEnd))) {
        text.insert(0, "http://");
        schemeEnd = 4;
    }
    Url uri;
    uri.scheme = Lower(std::string_view(text).substr(0, schemeEnd));

    std::string_view rest = std::string_view(text).substr(schemeEnd + 3);
    if (const size_t fragment = rest.find('#'); fragment != std::string_view::npos)
        rest = rest.substr(0, fragment);

    const size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view pathAndQuery = rest.substr(authorityEnd);

    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host = authority;
    std::string_view port;
    const size_t bracket = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty())
        throw NetUriException("Host field is empty");
    uri.host = std::string(host);
    if (!port.empty() && !IsDefaultPort(uri.scheme, port))
        uri.port = std::string(port);

    if (const size_t question = pathAndQuery.find('?'); question != std::string_view::npos) {
        uri.path = std::string(pathAndQuery.substr(0, question));
        uri.query = std::string(pathAndQuery.substr(question + 1));
        uri.hasQuery = true;
    } else {
        uri.path = std::string(pathAndQuery);
    }

    // Trailing "/" characters go from the end of the whole URL.
    std::string& tail = uri.hasQuery ? uri.query : uri.path;
    while (!tail.empty() && tail.back() == '/')
        tail.pop_back();
    return uri;
}

std::string EncodeURLPath(std::string_view path) {
    return Encode(path, [](unsigned char b) {
        if (IsControlOrNonASCII(b) || b == ' ')
            return true;
        switch (b) {
        case '"':
        case '*':
        case '<':
        case '>':
        case '#':
        case '%':
        case '{':
        case '}':
        case '|':
        case '\\':
        case '^':
        case '[':
        case ']':
        case '`':
        case '+':
            return true;
        default:
            return false;
        }
    });
}

std::string EncodeQueryValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ') {
            out += '+';
            continue;
        }
        bool escape = b < 0x21 || b > 0x7F;
        switch (b) {
        case '!':
        case '"':
        case '#':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '+':
        case ',':
        case '/':
        case ':':
        case ';':
        case '<':
        case '=':
        case '>':
        case '?':
        case '@':
        case '[':
        case '\\':
        case ']':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
        case '~':
            escape = true;
            break;
        default:
            break;
        }
        if (escape)
            AppendEscaped(out, b);
        else
            out += c;
    }
    return out;
}

std::string EncodeQueryText(std::string_view query) {
    return Encode(query, [](unsigned char b) {
        if (IsControlOrNonASCII(b) || b == ' ')
            return true;
        switch (b) {
        case '"':
        case '*':
        case '<':
        case '>':
        case '#':
        case '%':
        case '{':
        case '}':
        case '|':
        case '\\':
        case '^':
        case '[':
        case ']':
        case '`':
        case '\'':
            return true;
        default:
            return false;
        }
    });
}

} // namespace corvane
