#pragma once

#include <QDate>
#include <functional>

namespace platform {

// Today's local date; tests fix it with a hook (an empty hook restores the clock).
QDate currentDate();
void setClockHook(std::function<QDate()> hook);

}  // namespace platform
