// The JSON answers of the file service.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// An age as the service sends it: local time with milliseconds and no offset,
// "2022-03-01T10:15:30.123". The updater keeps it as it stands and stamps files with it.
std::string IsoAge(DateTime age);

struct ListingEntry {
    std::string_view fileName; // relative to the root, backslashes between folders
    std::string_view age;      // IsoAge of the file's last-write time
    std::uint64_t size = 0;    // the content's length in bytes
    std::string_view sha256;   // its SHA-256 in lower-case hex; empty when unknown
};

// The listing answer: an array of {"fileName": ..., "age": ..., "size": ..., "sha256": ...};
// an entry without a hash goes without size and sha256, which the updater then does not check.
std::string ListingJson(const std::vector<ListingEntry>& files);

// The error answer: {"error": ..., "status": ..., "detail": ...}.
std::string ErrorJson(int status, std::string_view error, std::string_view detail);

// The content type of every JSON answer: listings and errors.
inline constexpr std::string_view kJsonContentType = "application/json; charset=utf-8";

// One error answer of the service: its status, its short text and its detail for people.
struct ErrorAnswer {
    int status;
    std::string_view error;
    std::string_view detail;
};

// The error answers, the same whether the service sends them or a static web server serving
// an export of it.
inline constexpr ErrorAnswer kNoSuchFile{404, "Not Found",
                                         "O arquivo pedido não existe no serviço de arquivos."};
inline constexpr ErrorAnswer kNoSuchFolder{404, "Not Found",
                                           "A pasta pedida não existe no serviço de arquivos."};
inline constexpr ErrorAnswer kNoSuchResource{
    404, "Not Found", "O serviço de arquivos atende apenas /folderlist e /download."};
inline constexpr ErrorAnswer kOnlyGet{405, "Method Not Allowed",
                                      "O serviço de arquivos só atende pedidos GET."};
inline constexpr ErrorAnswer kAllFilesBeingSent{
    503, "Service Unavailable",
    "O serviço de arquivos está enviando todos os arquivos que pode de uma vez. Tente de novo "
    "em instantes."};
inline constexpr ErrorAnswer kAnswerFailed{500, "Internal Server Error",
                                           "O serviço de arquivos falhou ao atender o pedido."};
// Only from an export: it holds the listings of the root folder with every name, nothing else.
inline constexpr ErrorAnswer kRootListingsOnly{
    400, "Bad Request",
    "Esta cópia do serviço de arquivos só lista a pasta raiz com todos os nomes "
    "(folder=%5C&mask=*.*, com ou sem recursive)."};

inline std::string ErrorJson(const ErrorAnswer& answer) {
    return ErrorJson(answer.status, answer.error, answer.detail);
}

} // namespace corvane
