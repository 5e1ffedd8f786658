#include "Corvane.Platform.Locale.h"

#include "Corvane.Errors.h"

#include <memory>
#include <unicode/ucasemap.h>
#include <unicode/uloc.h>

namespace corvane {

namespace {

struct CaseMapCloser {
    void operator()(UCaseMap* map) const { ucasemap_close(map); }
};

// One case map per thread: ICU case maps are not to be shared between threads.
UCaseMap* ThreadCaseMap() {
    thread_local std::unique_ptr<UCaseMap, CaseMapCloser> map = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UCaseMap, CaseMapCloser> created(
            ucasemap_open(uloc_getDefault(), 0, &status));
        if (U_FAILURE(status))
            created.reset();
        return created;
    }();
    return map.get();
}

} // namespace

std::string UpperCase(std::string_view text) {
    if (text.empty())
        return {};
    UCaseMap* map = ThreadCaseMap();
    if (map == nullptr)
        throw EOSError("No mapping for the Unicode character exists in the target multi-byte "
                       "code page.",
                       1113);
    std::string result(text.size() + text.size() / 2 + 8, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucasemap_utf8ToUpper(map, result.data(),
                                                    static_cast<int32_t>(result.size()),
                                                    text.data(), static_cast<int32_t>(text.size()),
                                                    &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.assign(static_cast<size_t>(length), '\0');
            continue;
        }
        if (U_FAILURE(status))
            break;
        result.resize(static_cast<size_t>(length));
        return result;
    }
    throw EOSError(
        "No mapping for the Unicode character exists in the target multi-byte code page.", 1113);
}

} // namespace corvane
