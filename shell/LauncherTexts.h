// The texts of the launcher's window that every view shows the same.
#pragma once

namespace corvane {

// Names the program to the user: captions its notices and error box, tips its tray icon.
inline constexpr char kApplicationTitle[] = "Corvane Plexa";

// The window's caption from start-up until the first update run has ended.
inline constexpr char kStartCaption[] = "Corvane Plexa [2019.01.00]";

// The waiting panel's text.
inline constexpr char kWaitPanelText[] = "Aguarde Atualizando";

// The pop-up menu's two commands.
inline constexpr char kOpenCommandText[] = "Abre o Sistema de Gesttão Hospitalar";
inline constexpr char kCloseCommandText[] = "Fecha o Sistema de Gesttão Hospitalar";

} // namespace corvane
