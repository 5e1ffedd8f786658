#include "dialogs/MessageDialogTypes.h"

#include <QCoreApplication>

namespace corvane {

namespace {

using enum ButtonGlyph;

// Indexed by DialogButton. Cancel ends with the Abort result; Help and Close leave the dialog
// open.
constexpr std::array<ButtonTableRow, kDialogButtonCount> kButtonTable = {{
    {"Yes", "&Sim", kModalResultYes, Yes},
    {"No", "&Não", kModalResultNo, Abort},
    {"OK", "&OK", kModalResultOk, OK},
    {"Cancel", "&Cancelar", kModalResultAbort, Cancel},
    {"Abort", "&Abortar", kModalResultAbort, Abort},
    {"Retry", "&Tentar", kModalResultRetry, Retry},
    {"Ignore", "&Ignorar", kModalResultIgnore, Ignore},
    {"All", "Todos", kModalResultAll, All},
    {"NoToAll", "Não para todos", kModalResultNoToAll, None},
    {"YesToAll", "Sim para todos", kModalResultYesToAll, None},
    {"Help", "&Ajuda", kModalResultNone, Help},
    {"Close", "Fechar", kModalResultNone, None},
}};

} // namespace

std::array<int, kDialogButtonCount> captionWidthCache{};

const ButtonTableRow& DialogButtonInfo(DialogButton button) {
    return kButtonTable.at(static_cast<std::size_t>(button));
}

QString DialogCaption(DialogType dlgType) {
    switch (dlgType) {
    case Warning:
        return QStringLiteral("Aviso");
    case Error:
        return QStringLiteral("Falha");
    case Information:
        return QStringLiteral("Informação");
    case Confirmation:
        return QStringLiteral("Confirmação");
    case Custom:
        break;
    }
    // The application title, which the application gives as its name (the display name would
    // be appended to window titles).
    return QCoreApplication::applicationName();
}

} // namespace corvane
