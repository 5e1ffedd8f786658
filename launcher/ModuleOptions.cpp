#include "launcher/ModuleOptions.h"

#include "update/Errors.h"

#include <utility>

namespace corvane {

TModuleOptions::TModuleInfo::TModuleInfo(std::string AModuleName, bool AAdditionalFiles)
    : FModuleName(std::move(AModuleName)), FAdditionalFiles(AAdditionalFiles) {}

void TModuleOptions::AddModule(const QObject* AClickArea, std::string AModuleName,
                               bool AAdditionalFiles) {
    if (!FModules.try_emplace(AClickArea, std::move(AModuleName), AAdditionalFiles).second)
        throw EListError("Duplicates not allowed");
}

TModuleOptions::TModuleInfo TModuleOptions::GetModule(const QObject* AClickArea) const {
    const auto LFound = FModules.find(AClickArea);
    return LFound == FModules.end() ? TModuleInfo() : LFound->second;
}

} // namespace corvane
