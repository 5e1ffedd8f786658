// The pictures of the message dialog: the buttons' stock pictures and the icon of each type.
#pragma once

#include <QIcon>

#include "dialogs/MessageDialogTypes.h"

class QStyle;

namespace corvane {

// The stock picture of a button kind, drawn at any size; a null icon for None.
QIcon ButtonPicture(ButtonGlyph kind);

// The stock icon of a dialog type, from the style; a null icon for Custom.
QIcon DialogTypeIcon(DialogType dlgType, const QStyle* style);

} // namespace corvane
