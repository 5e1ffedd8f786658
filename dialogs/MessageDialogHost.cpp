#include "dialogs/MessageDialogHost.h"

#include <utility>

namespace corvane {

namespace {

DialogHelpViewer& HelpViewer() {
    static DialogHelpViewer viewer;
    return viewer;
}

} // namespace

DialogHelpViewer SetDialogHelpViewer(DialogHelpViewer viewer) {
    return std::exchange(HelpViewer(), std::move(viewer));
}

void ShowDialogHelp(int helpContext, const QString& helpFile) {
    if (const DialogHelpViewer& viewer = HelpViewer())
        viewer(helpContext, helpFile);
}

} // namespace corvane
