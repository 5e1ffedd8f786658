// The maker's contact details that the window shows in its hints.
#pragma once

namespace corvane {

inline constexpr char MakerTelephone[] = "(11) 3042-7755";
inline constexpr char MakerCommercialEmail[] = "comercial@corvane.example";
inline constexpr char SupportEmail[] = "suporte@corvane.example";

} // namespace corvane
