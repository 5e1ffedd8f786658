// The URL rules of the file-service clients: how a configured base URL is cleaned up, and how
// the path and the query of each exchange are percent-encoded before they go on the wire.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// A URL taken apart after normalising. Path and Query hold the text as written (not yet
// encoded); Port is empty when it was absent or the scheme's default.
struct Url {
    std::string scheme; // lower case
    std::string host;
    std::string port;
    std::string path;  // empty or beginning with "/"
    std::string query; // the text after the first "?", when hasQuery
    bool hasQuery = false;

    // scheme://host[:port]
    std::string Origin() const;
    // The URL as text, without any encoding.
    std::string ToString() const;
};

// Normalises a URL the way the service clients do: blanks (characters up to the space)
// trimmed at both ends; "\" turned into "/" before the first "?" or "#"; "http://" put in
// front when there is no "://"; user name, password and "#" fragment dropped; the port
// dropped when it is the scheme's default (80, 443); all trailing "/" removed.
// Throws NetUriException "Protocol field is empty" or "Host field is empty".
Url NormalizeURL(std::string_view url);

// Encodes the path of a request: controls, space, non-ASCII bytes and " * < > # % { } | \ ^
// [ ] ` + become %XX (upper-case hex, per UTF-8 byte); everything else passes.
std::string EncodeURLPath(std::string_view path);

// Encodes one query parameter value: a space becomes "+"; bytes below 0x21 or above 0x7F and
// ! " # $ & ' ( ) + , / : ; < = > ? @ [ \ ] ^ ` { | } ~ become %XX; letters, digits and
// % * - . _ pass.
std::string EncodeQueryValue(std::string_view value);

// Encodes a whole query text character by character: controls, space, non-ASCII bytes,
// " * < > # % { } | \ ^ [ ] ` and the apostrophe become %XX; & = + / ? and the rest pass.
std::string EncodeQueryText(std::string_view query);

} // namespace corvane
