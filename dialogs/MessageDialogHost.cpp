#include "dialogs/MessageDialogHost.h"

#include <utility>

namespace corvane {

namespace {

TDialogHelpViewer& HelpViewer() {
    static TDialogHelpViewer LViewer;
    return LViewer;
}

} // namespace

TDialogHelpViewer SetDialogHelpViewer(TDialogHelpViewer AViewer) {
    return std::exchange(HelpViewer(), std::move(AViewer));
}

void ShowDialogHelp(int AHelpContext, const QString& AHelpFile) {
    if (const TDialogHelpViewer& LViewer = HelpViewer())
        LViewer(AHelpContext, AHelpFile);
}

} // namespace corvane
