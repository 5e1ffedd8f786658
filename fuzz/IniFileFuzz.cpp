// Corvane.ini as any editor or a broken disk may leave it: decoding and reading never fail,
// and every value arrives as valid UTF-8 of at most 2,047 characters.
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "update/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

size_t Utf16Units(std::string_view text) {
    size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text =
        corvane::TextFileToUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!corvane::IsValidUtf8(text))
        std::abort();
    const corvane::IniFile ini = corvane::IniFile::FromText(text);
    for (const char* key : {"Local Exe", "url", "Exe Contabi"}) {
        const std::string value = ini.ReadString("Servidor", key, "");
        if (Utf16Units(value) > corvane::IniFile::kMaxValueLength || !corvane::IsValidUtf8(value))
            std::abort();
    }
    return 0;
}
