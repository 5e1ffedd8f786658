#include "Bk.VCL.Dialogs.Application.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <utility>

namespace corvane {

namespace {

TDialogErrorHandler& ErrorHandler() {
    static TDialogErrorHandler LHandler;
    return LHandler;
}

TDialogHelpViewer& HelpViewer() {
    static TDialogHelpViewer LViewer;
    return LViewer;
}

} // namespace

TDialogErrorHandler SetDialogErrorHandler(TDialogErrorHandler AHandler) {
    return std::exchange(ErrorHandler(), std::move(AHandler));
}

TDialogHelpViewer SetDialogHelpViewer(TDialogHelpViewer AViewer) {
    return std::exchange(HelpViewer(), std::move(AViewer));
}

void HandleDialogError(const std::exception& AError) noexcept {
    try {
        if (const TDialogErrorHandler& LHandler = ErrorHandler())
            LHandler(AError);
        else
            qWarning("%s", AError.what());
    } catch (const std::exception& LError) {
        // The report itself failed: nothing is left to show it, so at least leave a trace.
        qWarning("%s (%s)", AError.what(), LError.what());
    } catch (...) {
        qWarning("%s", AError.what());
    }
}

void ShowDialogHelp(int AHelpContext, const QString& AHelpFile) {
    if (const TDialogHelpViewer& LViewer = HelpViewer())
        LViewer(AHelpContext, AHelpFile);
}

QString ApplicationTitle() {
    // The launcher gives the application its title as the application name (the display name
    // would be appended to window titles).
    return QCoreApplication::applicationName();
}

} // namespace corvane
