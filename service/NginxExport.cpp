#include "service/NginxExport.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/NativePaths.h"
#include "platform/Paths.h"
#include "service/AnswerJson.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace corvane {

namespace {

constexpr std::string_view kHttpInclude = "nginx-http.conf";
constexpr std::string_view kServerInclude = "nginx-server.conf";
constexpr std::string_view kWholeTreeStem = "folderlist.";
constexpr std::string_view kRootFolderStem = "folderlist-raiz.";
constexpr std::string_view kListingExtension = ".json";
constexpr std::string_view kJsonType = "application/json; charset=utf-8";

// ---- Text as nginx reads it ----

// A quoted nginx string. Where nginx reads variables in it (map values, return texts), a '$'
// is written as the variable $corvane_dollar, which holds one.
std::string Quoted(std::string_view text, bool readsVariables) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '$':
            quoted += readsVariables ? "${corvane_dollar}" : "$";
            break;
        default:
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

// A map key that nginx takes as it stands: a leading backslash keeps it from being read as a
// regular expression or as one of the map's own words.
std::string LiteralKey(std::string_view key) {
    // Appended rather than "\\" + key: GCC 12 at -O3 falsely warns (-Wrestrict) on that.
    std::string escaped(1, '\\');
    escaped.append(key);
    return Quoted(escaped, false);
}

// ---- The updater's query form of a name ----

bool UpdaterEscapes(unsigned char byte) {
    if (byte < 0x20 || byte >= 0x7F || byte == ' ')
        return true;
    return std::string_view("\"*<>#%{}|\\^[]`'").find(static_cast<char>(byte)) !=
           std::string_view::npos;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// ---- Letter case as the service ignores it ----

// UTF-8 text as code points; names here are valid UTF-8 (the service lists no others).
std::vector<char32_t> CodePoints(std::string_view text) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t point = extra == 0 ? c : c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < text.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(point);
        i += extra + 1;
    }
    return points;
}

std::string Utf8(char32_t point) {
    std::string text;
    if (point < 0x80) {
        text += static_cast<char>(point);
    } else if (point < 0x800) {
        text += static_cast<char>(0xC0 | (point >> 6));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        text += static_cast<char>(0xE0 | (point >> 12));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (point >> 18));
        text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    }
    return text;
}

// Which code points a request may write in place of another and still name the same file:
// those the service's upper-casing takes to the same text. Made from that upper-casing
// itself, over every code point that has letter case, so that both agree in every locale.
class CaseFold {
public:
    CaseFold() {
        for (char32_t point = 0; point < 0x20000; ++point) {
            if (point >= 0xD800 && point <= 0xDFFF)
                continue;
            byUpper_[UpperCase(Utf8(point))].push_back(point);
        }
    }

    // The code points whose upper case is that of point; point among them.
    std::vector<char32_t> Variants(char32_t point) const {
        const auto found = byUpper_.find(UpperCase(Utf8(point)));
        if (found == byUpper_.end())
            return {point};
        return found->second;
    }

private:
    std::unordered_map<std::string, std::vector<char32_t>> byUpper_;
};

// ---- Regular expressions of a name's query forms ----

char HexClassPart(char digit, bool upper) {
    return upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(digit)))
                 : static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
}

// The updater's query form of a text as a pattern: %XX escapes with either case of hex digit,
// every other character literal.
std::string QueryFormPattern(std::string_view text) {
    const std::string form = UpdaterQueryForm(text);
    std::string pattern;
    for (size_t i = 0; i < form.size(); ++i) {
        const char c = form[i];
        if (c == '%' && i + 2 < form.size()) {
            pattern += '%';
            for (const char digit : {form[i + 1], form[i + 2]}) {
                const char lower = HexClassPart(digit, false);
                const char upper = HexClassPart(digit, true);
                if (lower == upper) {
                    pattern += digit;
                } else {
                    pattern += '[';
                    pattern += lower;
                    pattern += upper;
                    pattern += ']';
                }
            }
            i += 2;
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            pattern += c;
        } else {
            pattern += '\\';
            pattern += c;
        }
    }
    return pattern;
}

// The pattern of every query form of a name: the updater's escapes, '\' or '/' between
// folders, and, with a case fold, every letter in any case the service takes for it.
std::string NamePattern(std::string_view name, const CaseFold* fold) {
    std::string pattern = "^";
    for (const char32_t point : CodePoints(name)) {
        if (point == U'\\') {
            pattern += "(?:%5[cC]|/)";
            continue;
        }
        const std::vector<char32_t> variants =
            fold != nullptr ? fold->Variants(point) : std::vector<char32_t>{point};
        if (variants.size() == 1) {
            pattern += QueryFormPattern(Utf8(variants.front()));
            continue;
        }
        if (std::all_of(variants.begin(), variants.end(),
                        [](char32_t v) { return v < 0x80 && std::isalnum(static_cast<int>(v)); })) {
            pattern += '[';
            for (const char32_t v : variants)
                pattern += static_cast<char>(v);
            pattern += ']';
            continue;
        }
        pattern += "(?:";
        for (size_t i = 0; i < variants.size(); ++i) {
            if (i != 0)
                pattern += '|';
            pattern += QueryFormPattern(Utf8(variants[i]));
        }
        pattern += ')';
    }
    pattern += '$';
    return pattern;
}

// The query form nginx looks up in its table of names: ASCII letters in either case are the
// same key there.
std::string TableKey(std::string_view form) {
    std::string key(form);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string QueryFormWithSlashes(std::string_view name) {
    std::string form;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('\\', start);
        form += UpdaterQueryForm(name.substr(start, end - start));
        if (end == std::string_view::npos)
            return form;
        form += '/';
        start = end + 1;
    }
}

size_t NextPowerOfTwo(size_t value) {
    size_t power = 1;
    while (power < value)
        power <<= 1;
    return power;
}

// ---- The two includes ----

std::string ErrorLocation(std::string_view name, const ErrorAnswer& answer,
                          std::string_view extra = {}) {
    const std::string body = ErrorJson(answer);
    if (body.find('$') != std::string::npos)
        throw Exception("corvane-fileservice: um texto de erro não pode conter '$'.");
    std::string text = "location @" + std::string(name) + " {\n    default_type " +
                       Quoted(kJsonType, false) + ";\n" + std::string(extra) + "    return " +
                       std::to_string(answer.status) + " " + Quoted(body, true) + ";\n}\n";
    return text;
}

constexpr std::string_view kServerHeader =
    "# Gerado por corvane-fileservice export: não edite, exporte de novo.\n"
    "# Inclua este arquivo num bloco server {} do nginx, e nginx-http.conf no bloco http {}.\n"
    "# Responde /folderlist e /download como o serviço de arquivos responde.\n\n";

std::string ServerIncludeText() {
    std::string text(kServerHeader);
    // Only what the export holds: the listings of the root folder with every name.
    text += "location = /folderlist {\n"
            "    if ($request_method !~ ^(?:GET|HEAD)$) { return 405; }\n"
            "    if ($corvane_listing = \"\") { return 400; }\n"
            "    alias $corvane_listing;\n"
            "    default_type \"application/json; charset=utf-8\";\n"
            "    types { }\n"
            "    gzip off; etag off; if_modified_since off; max_ranges 0;\n"
            "    error_page 405 @corvane_only_get;\n"
            "    error_page 400 @corvane_root_listings_only;\n"
            "}\n\n";
    // Only listed names reach a file, and the file only through a path free of links beneath
    // the root: a link put in a file's place after the export is refused, not followed.
    text += "location = /download {\n"
            "    if ($request_method !~ ^(?:GET|HEAD)$) { return 405; }\n"
            "    if ($corvane_file = \"\") { return 404; }\n"
            "    alias $corvane_file;\n"
            "    disable_symlinks on from=$corvane_root;\n"
            "    default_type application/octet-stream;\n"
            "    types { }\n"
            "    gzip off; etag off; if_modified_since off; max_ranges 0;\n"
            "    error_page 405 @corvane_only_get;\n"
            "    error_page 301 403 404 =404 @corvane_no_such_file;\n"
            "}\n\n";
    text +=
        ErrorLocation("corvane_only_get", kOnlyGet, "    add_header Allow \"GET, HEAD\" always;\n");
    text += ErrorLocation("corvane_no_such_file", kNoSuchFile);
    text += ErrorLocation("corvane_root_listings_only", kRootListingsOnly);
    return text;
}

// The names a download reaches, in the two forms nginx matches: a table of exact query forms,
// fast, for the names as the updater writes them with any ASCII letter case; and regular
// expressions, tried in order after the table, for what the table cannot tell apart.
struct NameRoutes {
    std::vector<std::pair<std::string, const CatalogFile*>> keys;
    std::vector<std::pair<std::string, const CatalogFile*>> patterns;
};

NameRoutes RoutesOfNames(const std::vector<CatalogFile>& files, size_t maxKeyLength) {
    NameRoutes routes;
    std::unique_ptr<CaseFold> fold;
    const auto caseFold = [&fold]() -> const CaseFold& {
        if (!fold)
            fold = std::make_unique<CaseFold>();
        return *fold;
    };

    // The service looks a name up as written first, then by its upper case (the first name,
    // in name order, of those that share it). Names that share one, or whose table keys
    // coincide, are told apart by patterns that keep every letter's case, then found by one
    // that ignores it, as the service would.
    std::map<std::string_view, std::vector<const CatalogFile*>> byUpper;
    std::unordered_map<std::string, std::vector<const CatalogFile*>> byKey;
    for (const CatalogFile& file : files) {
        byUpper[file.upper].push_back(&file);
        byKey[TableKey(UpdaterQueryForm(file.name))].push_back(&file);
    }
    std::vector<std::pair<std::string, const CatalogFile*>> caseBlind;
    for (const CatalogFile& file : files) {
        const std::string form = UpdaterQueryForm(file.name);
        const std::vector<const CatalogFile*>& twins = byUpper[file.upper];
        const bool alone =
            twins.size() == 1 && byKey[TableKey(form)].size() == 1 && form.size() <= maxKeyLength;
        if (!alone) {
            routes.patterns.emplace_back(NamePattern(file.name, nullptr), &file);
            if (twins.front() == &file)
                caseBlind.emplace_back(NamePattern(file.name, &caseFold()), &file);
            continue;
        }
        routes.keys.emplace_back(form, &file);
        const std::string slashes = QueryFormWithSlashes(file.name);
        if (slashes != form)
            routes.keys.emplace_back(slashes, &file);
        // Letters beyond ASCII: the table holds them as written; other cases need a pattern.
        bool otherCases = false;
        for (const char32_t point : CodePoints(file.name))
            if (point >= 0x80 && caseFold().Variants(point).size() > 1)
                otherCases = true;
        if (otherCases)
            caseBlind.emplace_back(NamePattern(file.name, &caseFold()), &file);
    }
    routes.patterns.insert(routes.patterns.end(), caseBlind.begin(), caseBlind.end());
    return routes;
}

constexpr std::string_view kHttpHeader =
    "# Gerado por corvane-fileservice export: não edite, exporte de novo e recarregue o nginx\n"
    "# (nginx -s reload). Inclua este arquivo no bloco http {} do nginx, e nginx-server.conf\n"
    "# num bloco server {}. Define as variáveis $corvane_*; a tabela de nomes precisa dos\n"
    "# tamanhos map_hash_* abaixo (não os defina outra vez no bloco http).\n";

} // namespace

std::string UpdaterQueryForm(std::string_view name) {
    std::string form;
    form.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (UpdaterEscapes(byte))
            AppendEscaped(form, byte);
        else
            form += c;
    }
    return form;
}

NginxIncludes NginxIncludeTexts(const CatalogSnapshot& snapshot, std::string_view wholeTreePath,
                                std::string_view rootFolderPath) {
    // nginx's table needs buckets that hold its longest key; longer names go to patterns.
    constexpr size_t kMaxKeyLength = 4000;
    const NameRoutes routes = RoutesOfNames(snapshot.files, kMaxKeyLength);
    size_t longest = 0;
    for (const auto& [key, file] : routes.keys)
        longest = std::max(longest, key.size());
    // An entry takes a pointer and the key rounded up to pointers; four of the longest fit.
    const size_t entry = 8 + ((longest + 2 + 7) / 8) * 8;
    const size_t bucket = std::max<size_t>(256, NextPowerOfTwo(4 * (entry + 8)));
    const size_t tableSize = std::max<size_t>(4096, NextPowerOfTwo(4 * routes.keys.size()));

    std::string http(kHttpHeader);
    http += "\nmap_hash_max_size " + std::to_string(tableSize) + ";\n";
    http += "map_hash_bucket_size " + std::to_string(bucket) + ";\n\n";
    http += "geo $corvane_dollar { default \"$\"; }\n\n";
    http += "map $request_method $corvane_root { default " + Quoted(snapshot.realRoot, true) +
            "; }\n\n";

    // The listing asked for: the root folder ("\", "/" or none), every name ("*.*", "*" or
    // none), with or without recursion; parameters read as the service reads them (the first
    // of each name, in any letter case). A parameter name written with escapes is not read
    // here: such a query is refused rather than misread.
    const auto flag = [](std::string_view variable, std::string_view source,
                         std::initializer_list<std::string_view> keys) {
        std::string text =
            "map " + std::string(source) + " " + std::string(variable) + " {\n    default 0;\n";
        for (const std::string_view key : keys)
            text += "    " + Quoted(key, false) + " 1;\n";
        return text + "}\n";
    };
    http += flag("$corvane_listing_escaped_name", "$args", {R"(~(?:^|&)[^=&]*%)"});
    http += flag("$corvane_listing_root", "$arg_folder",
                 {"", R"(~*^(?:%5C|%2F|/|\\)?(?:%5C|%2F|/|\\)?$)"});
    http += flag("$corvane_listing_every_name", "$arg_mask",
                 {"", R"(~*^(?:\*|%2A)(?:(?:\.|%2E)(?:\*|%2A))?$)"});
    http += flag("$corvane_listing_recursive", "$args", {R"(~*(?:^|&)recursive(?:[=&]|$))"});
    http += "map \"$corvane_listing_escaped_name$corvane_listing_root"
            "$corvane_listing_every_name$corvane_listing_recursive\" $corvane_listing {\n"
            "    default \"\";\n"
            "    0111 " +
            Quoted(wholeTreePath, true) +
            ";\n"
            "    0110 " +
            Quoted(rootFolderPath, true) + ";\n}\n\n";

    // The name asked for runs from the first "file=" to the end of the query, as the updater
    // sends it ('&', '=' and '+' as they are).
    http += "map $args $corvane_download_name {\n    default \"\";\n    " +
            Quoted(R"(~*^(?:[^&]*&)*?file=(.*)$)", false) + " $1;\n}\n\n";
    http += "map $corvane_download_name $corvane_file {\n    default \"\";\n";
    for (const auto& [key, file] : routes.keys)
        http += "    " + LiteralKey(key) + " " + Quoted(file->realPath, true) + ";\n";
    for (const auto& [pattern, file] : routes.patterns)
        http += "    " + Quoted("~" + pattern, false) + " " + Quoted(file->realPath, true) + ";\n";
    http += "}\n";
    return {std::move(http), ServerIncludeText()};
}

ExportResult ExportForNginx(const ExportOptions& options) {
    FileCatalog catalog(options.root);
    const CatalogSnapshot snapshot = catalog.Snapshot();

    // The export beneath the root would be served as files of the tree, and listed again by
    // the next export. Told by the names first, so that nothing is created there; then by the
    // folders as they are, links resolved.
    const std::string& root = snapshot.realRoot;
    const auto insideRoot = [&options] {
        return Exception("A pasta de saída " + options.out +
                         " fica dentro da pasta servida: escolha outra, fora dela.");
    };
    const std::string written = NativeAbsolutePath(options.out);
    if (IsNativePathWithin(written, NativeAbsolutePath(options.root)) ||
        IsNativePathWithin(written, root))
        throw insideRoot();
    if (options.out.empty() || !ForceDirectories(options.out))
        throw Exception("A pasta de saída " + options.out + " não pôde ser criada.");
    const std::string out = ServiceRoot(options.out).RealPath();
    if (IsNativePathWithin(out, root))
        throw insideRoot();

    // The number of this export: one past the highest found in the folder.
    std::vector<std::pair<std::uint64_t, std::string>> earlier;
    std::uint64_t number = 1;
    const std::string outPrefix = JoinNativePath(out, "");
    for (const ListedFile& file : ListFilesWithAges(outPrefix)) {
        const std::string name = file.fileName.substr(outPrefix.size());
        for (const std::string_view stem : {kWholeTreeStem, kRootFolderStem}) {
            if (name.size() <= stem.size() + kListingExtension.size() ||
                name.compare(0, stem.size(), stem) != 0 || !name.ends_with(kListingExtension))
                continue;
            const std::string_view digits = std::string_view(name).substr(
                stem.size(), name.size() - stem.size() - kListingExtension.size());
            std::uint64_t found = 0;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), found);
            if (error == std::errc() && end == digits.data() + digits.size()) {
                earlier.emplace_back(found, file.fileName);
                number = std::max(number, found + 1);
            }
        }
    }

    const auto write = [](const std::string& path, std::string_view content) {
        ReplacementFile file(path, FilePermissions::Data);
        file.Write(content.data(), content.size());
        file.Commit(Now());
    };
    const std::string suffix = std::to_string(number) + std::string(kListingExtension);
    const std::string wholeTree = JoinNativePath(out, std::string(kWholeTreeStem) + suffix);
    const std::string rootFolder = JoinNativePath(out, std::string(kRootFolderStem) + suffix);
    write(wholeTree, snapshot.wholeTree->json);
    write(rootFolder, snapshot.rootFolder->json);
    const NginxIncludes includes = NginxIncludeTexts(snapshot, wholeTree, rootFolder);
    ExportResult result;
    result.httpInclude = JoinNativePath(out, kHttpInclude);
    result.serverInclude = JoinNativePath(out, kServerInclude);
    result.files = snapshot.files.size();
    write(result.serverInclude, includes.server);
    write(result.httpInclude, includes.http);

    // The export before this one may still be served by workers of the nginx not yet reloaded.
    for (const auto& [found, path] : earlier)
        if (found + 1 < number)
            DeleteFileAt(path);
    return result;
}

} // namespace corvane
