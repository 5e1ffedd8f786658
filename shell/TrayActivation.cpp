#include "shell/TrayActivation.h"

namespace corvane {

TrayResponse RespondToTrayEvent(TrayHost host, TrayEvent event) {
    switch (event) {
    case TrayEvent::DoubleClick:
        return TrayResponse::Restore;
    case TrayEvent::Click:
        // On a host that tells clicks apart a single click does nothing, so that the first
        // click of a double-click does not act on its own.
        return host == TrayHost::SingleActivation ? TrayResponse::Restore : TrayResponse::Nothing;
    case TrayEvent::MenuRequest:
        return TrayResponse::OpenMenu;
    case TrayEvent::MiddleClick:
    case TrayEvent::Other:
        break;
    }
    return TrayResponse::Nothing;
}

} // namespace corvane
