// The file service on 127.0.0.1, on a port of its own, serving a test's server folder: the
// server of the updates that run from a URL.
#pragma once

#include "service/FileService.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace corvane::test {

class ServedFolder {
public:
    explicit ServedFolder(const std::filesystem::path& root) {
        FileServiceOptions options;
        options.root = root.string();
        options.port = 0;
        options.threads = 2;
        options.log = [](std::string_view) {};
        service_ = std::make_unique<FileService>(options);
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(service_->Port()); }

private:
    std::unique_ptr<FileService> service_;
};

} // namespace corvane::test
