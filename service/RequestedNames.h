// The names clients send: file and folder names relative to the service's root.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Splits a file name sent by a client into its parts (separators '\' and '/'). Nothing comes
// back for a name that is not a plain name beneath the root: empty, absolute ("\x", "/x",
// "\\server\share"), with a drive or any ':', with a "." or ".." part or an empty part, or
// with a character not allowed in paths (NUL and the other controls, '"', '<', '>', '|').
std::optional<std::vector<std::string>> SplitRequestedName(std::string_view name);

// The same for the folder of a listing, where the root is "", "\" or "/" and one leading
// and one trailing separator are allowed ("\Relatorio\" names Relatorio). The root gives
// no parts.
std::optional<std::vector<std::string>> SplitRequestedFolder(std::string_view folder);

// The parts joined with a separator.
std::string JoinNameParts(const std::vector<std::string>& parts, char separator);

} // namespace corvane
