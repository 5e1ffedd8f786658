// The main window's click areas and the module each one starts: one table for the places over
// the drawn buttons and what a click there does, read by every view of the launcher.
//
//   const ClickArea* stock = FindClickArea("stock");    // Morvik.exe, with the shared files
//   if (const ClickArea* area = ClickAreaAt(x, y))      // the area under a click, if any
//       launcher.AreaClicked(*area);
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// A rectangle in the window's client coordinates.
struct AreaBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr bool Contains(int x, int y) const {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
    constexpr bool Intersects(const AreaBounds& other) const {
        return left < other.left + other.width && other.left < left + width &&
               top < other.top + other.height && other.top < top + height;
    }
};

// The window's client area, which the background picture fills.
inline constexpr int kClientWidth = 1018;
inline constexpr int kClientHeight = 708;

// The waiting panel over the middle of the window; while it shows, a click on it does nothing.
inline constexpr AreaBounds kWaitPanelBounds{320, 218, 369, 143};

// What a left click on an area does.
enum class AreaAction {
    StartModule,     // brings the module up to date and starts it
    SendSupportMail, // opens a new message to the support desk
    None,            // shows its hint (the maker's contact details) only
};

struct ClickArea {
    // Names the area to views and tests; stable across versions.
    std::string_view name;
    AreaBounds bounds;
    AreaAction action;
    // StartModule: the executable's file name, relative to the launcher's folder.
    std::string_view moduleName;
    // StartModule: the run also brings the shared files up to date (the remote-support tools
    // need only their own executable).
    bool additionalFiles = false;
    // A right click opens the window's pop-up menu.
    bool opensMenu = true;
};

// Every area, in the order in which they stack: a later one lies over an earlier one.
std::span<const ClickArea> ClickAreas();

// The area of that name, or nullptr.
const ClickArea* FindClickArea(std::string_view name);

// The topmost area at a client point, or nullptr for the background.
const ClickArea* ClickAreaAt(int x, int y);

// How many areas start a module.
std::size_t ModuleAreaCount();

// The hint an area shows when the pointer rests on it; empty for none. Lines are separated by
// CR LF.
std::string ClickAreaHint(const ClickArea& area);

} // namespace corvane
