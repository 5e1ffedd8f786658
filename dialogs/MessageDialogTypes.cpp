#include "dialogs/MessageDialogTypes.h"

#include <QCoreApplication>

namespace corvane {

namespace {

using enum TBitBtnKind;

// Indexed by TDialogButton. Cancel ends with the Abort result; Help and Close leave the dialog
// open.
constexpr std::array<TDialogButtonInfo, DialogButtonCount> ButtonTable = {{
    {"Yes", "&Sim", mrYes, bkYes},
    {"No", "&Não", mrNo, bkAbort},
    {"OK", "&OK", mrOk, bkOK},
    {"Cancel", "&Cancelar", mrAbort, bkCancel},
    {"Abort", "&Abortar", mrAbort, bkAbort},
    {"Retry", "&Tentar", mrRetry, bkRetry},
    {"Ignore", "&Ignorar", mrIgnore, bkIgnore},
    {"All", "Todos", mrAll, bkAll},
    {"NoToAll", "Não para todos", mrNoToAll, bkNone},
    {"YesToAll", "Sim para todos", mrYesToAll, bkNone},
    {"Help", "&Ajuda", mrNone, bkHelp},
    {"Close", "Fechar", mrNone, bkNone},
}};

} // namespace

std::array<int, DialogButtonCount> CaptionWidthCache{};

const TDialogButtonInfo& DialogButtonInfo(TDialogButton AButton) {
    return ButtonTable.at(static_cast<std::size_t>(AButton));
}

QString DialogCaption(TMsgDlgType ADlgType) {
    switch (ADlgType) {
    case mtWarning:
        return QStringLiteral("Aviso");
    case mtError:
        return QStringLiteral("Falha");
    case mtInformation:
        return QStringLiteral("Informação");
    case mtConfirmation:
        return QStringLiteral("Confirmação");
    case mtCustom:
        break;
    }
    // The application title, which the application gives as its name (the display name would
    // be appended to window titles).
    return QCoreApplication::applicationName();
}

} // namespace corvane
