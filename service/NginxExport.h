// The file service as files that nginx serves: the listings written out, and an nginx
// configuration that answers /folderlist and /download from them as the service does.
//
//   const ExportResult result = ExportForNginx({.root = "/srv/corvane", .out = "/etc/corvane"});
//   // nginx.conf: http { include <result.httpInclude>; server { include <result.serverInclude>; }
//   }
//   // then, after this and every later export: nginx -s reload
#pragma once

#include "service/FileCatalog.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

struct ExportOptions {
    std::string root; // the folder the service would serve
    std::string out;  // where the export goes; created when missing, outside the root
};

struct ExportResult {
    std::string httpInclude;   // to include in nginx's http {} block
    std::string serverInclude; // to include in a server {} block
    std::size_t files = 0;     // the names a download can reach
};

// Writes the export. Every file is written beside its final name and renamed over it, so a
// reader sees the old file or the new one, never part of one. The listings carry a number of
// their own in their names, and the http include names the ones of its export: nginx serves
// the listings and the names of one export together, the old ones until it is reloaded. The
// listings of the export before stay for the nginx workers that still serve it; older ones
// go. Throws DirectoryNotFoundException for a root that is not a folder, and Exception
// with a Portuguese message when the export cannot be written.
ExportResult ExportForNginx(const ExportOptions& options);

// The two includes, as text, for a snapshot of the tree whose listings were written to the
// given absolute paths.
struct NginxIncludes {
    std::string http;
    std::string server;
};
NginxIncludes NginxIncludeTexts(const CatalogSnapshot& snapshot, std::string_view wholeTreePath,
                                std::string_view rootFolderPath);

// The query text after "file=" with which the workstations' updater asks for a name: the
// characters a URL cannot carry as they are written as %XX (upper-case hexadecimal, per UTF-8
// byte), '\' as %5C; '&', '=', '+' and '/' pass as they are.
std::string UpdaterQueryForm(std::string_view name);

} // namespace corvane
