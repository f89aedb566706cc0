#pragma once

#include <QPushButton>
#include <ostream>

#include "forms/frmMain.h"

// The five buttons of the main window as one comparable value: per button
// (Browse, Optimize, Exit, Yes, No) whether it is shown and whether enabled.
struct ButtonStates {
  bool shown[5], enabled[5];

  static ButtonStates of(const frmMain& w) {
    ButtonStates s{};
    const QPushButton* b[] = {w.Command1, w.cmdCompactRepair, w.cmdExit, w.cmdYes, w.cmdNo};
    for (int i = 0; i < 5; ++i) {
      s.shown[i] = !b[i]->isHidden();
      s.enabled[i] = b[i]->isEnabled();
    }
    return s;
  }
  bool operator==(const ButtonStates&) const = default;
};

// "Browse SE; Optimize SD; ..." (shown or hidden, enabled or disabled).
inline std::ostream& operator<<(std::ostream& os, const ButtonStates& s) {
  const char* names[] = {"Browse", "Optimize", "Exit", "Yes", "No"};
  for (int i = 0; i < 5; ++i)
    os << names[i] << ' ' << (s.shown[i] ? 'S' : 'H') << (s.enabled[i] ? 'E' : 'D') << "; ";
  return os;
}

// The phases of the optimize sequence. Browse is always shown.
namespace phase {
constexpr ButtonStates idle{{1, 1, 1, 0, 0}, {1, 1, 1, 1, 1}};
constexpr ButtonStates running{{1, 1, 1, 0, 0}, {0, 0, 0, 1, 1}};
constexpr ButtonStates backupQuestion{{1, 0, 0, 1, 1}, {0, 0, 0, 1, 1}};
constexpr ButtonStates waitingForReplace{{1, 0, 0, 1, 1}, {0, 0, 0, 0, 0}};
constexpr ButtonStates replaceQuestion = backupQuestion;
constexpr ButtonStates afterYes{{1, 1, 1, 0, 0}, {1, 0, 1, 0, 0}};
constexpr ButtonStates afterNo{{1, 1, 1, 0, 0}, {1, 0, 1, 1, 1}};
}  // namespace phase
