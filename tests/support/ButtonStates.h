#pragma once

#include <QPushButton>
#include <ostream>

#include "forms/frmMain.h"

// The five buttons of the main window as one comparable value:
// per button whether it is shown and whether it is enabled.
struct ButtonStates {
  bool browseShown, browseEnabled;
  bool optimizeShown, optimizeEnabled;
  bool exitShown, exitEnabled;
  bool yesShown, yesEnabled;
  bool noShown, noEnabled;

  static ButtonStates of(const frmMain& w) {
    auto shown = [](const QPushButton* b) { return !b->isHidden(); };
    return {shown(w.Command1),
            w.Command1->isEnabled(),
            shown(w.cmdCompactRepair),
            w.cmdCompactRepair->isEnabled(),
            shown(w.cmdExit),
            w.cmdExit->isEnabled(),
            shown(w.cmdYes),
            w.cmdYes->isEnabled(),
            shown(w.cmdNo),
            w.cmdNo->isEnabled()};
  }
  bool operator==(const ButtonStates&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const ButtonStates& s) {
  auto one = [&](const char* name, bool shown, bool enabled) {
    os << name << (shown ? " shown " : " hidden ") << (enabled ? "E" : "D") << "; ";
  };
  one("Browse", s.browseShown, s.browseEnabled);
  one("Optimize", s.optimizeShown, s.optimizeEnabled);
  one("Exit", s.exitShown, s.exitEnabled);
  one("Yes", s.yesShown, s.yesEnabled);
  one("No", s.noShown, s.noEnabled);
  return os;
}

// The phases of the optimize sequence. Browse is always shown.
namespace phase {
constexpr ButtonStates idle{true, true, true, true, true, true, false, true, false, true};
constexpr ButtonStates idleNoFolder{true, true, true, false, true, true, false, true, false, true};
constexpr ButtonStates running{true, false, true, false, true, false, false, true, false, true};
constexpr ButtonStates backupQuestion{true,  false, false, false, false,
                                      false, true,  true,  true,  true};
constexpr ButtonStates waitingForReplace{true,  false, false, false, false,
                                         false, true,  false, true,  false};
constexpr ButtonStates replaceQuestion = backupQuestion;
constexpr ButtonStates afterYes{true, true, true, false, true, true, false, false, false, false};
constexpr ButtonStates afterNo{true, true, true, false, true, true, false, true, false, true};
}  // namespace phase
