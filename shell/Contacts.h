// The maker's contact details that the window shows in its hints.
#pragma once

namespace corvane {

inline constexpr char kMakerTelephone[] = "(11) 3042-7755";
inline constexpr char kMakerCommercialEmail[] = "comercial@corvane.example";
inline constexpr char kSupportEmail[] = "suporte@corvane.example";

} // namespace corvane
