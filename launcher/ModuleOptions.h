// The module table: which executable each click area of the window starts, and whether the
// shared files are brought up to date with it.
#pragma once

#include <string>
#include <unordered_map>

class QObject;

namespace corvane {

class TModuleOptions {
public:
    struct TModuleInfo {
        TModuleInfo() = default;
        TModuleInfo(std::string AModuleName, bool AAdditionalFiles);

        // File name of the module executable, relative to the launcher's folder.
        std::string FModuleName;
        // True: a run for this module also updates the shared files.
        bool FAdditionalFiles = false;

        friend bool operator==(const TModuleInfo&, const TModuleInfo&) = default;
    };

    // Adds the module of a click area. Throws EListError ("Duplicates not allowed") for a
    // click area that is already in the table; the table keeps its first entry.
    void AddModule(const QObject* AClickArea, std::string AModuleName, bool AAdditionalFiles);

    // The module of a click area, looked up by the object's identity; an empty record (no
    // name, flag false) for anything that is not in the table.
    TModuleInfo GetModule(const QObject* AClickArea) const;

    size_t Count() const { return FModules.size(); }

private:
    std::unordered_map<const QObject*, TModuleInfo> FModules;
};

} // namespace corvane
