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

// A module whose file is there but could not be started: this line, then the module's full path
// and the system's message on lines of their own.
inline constexpr char kModuleNotStartedText[] = "Não foi possível iniciar o módulo.";

// The launcher's new copy could not be started after it had replaced this one: this line, the
// system's message, then what became of the copy that was running.
inline constexpr char kNewLauncherNotStartedText[] =
    "Não foi possível iniciar a nova versão do Corvane Plexa.";
inline constexpr char kPreviousLauncherRestoredText[] =
    "A versão anterior foi restaurada e continua em uso.";
inline constexpr char kPreviousLauncherNotRestoredText[] =
    "Não foi possível restaurar a versão anterior. Contacte o Corvane.";

} // namespace corvane
