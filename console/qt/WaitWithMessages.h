#pragma once

#include <functional>

namespace kelta {

// Lasts at least `ms` milliseconds (a zero wait at least until the millisecond clock moves on;
// a negative one processes what is pending once) and runs every event that arrives meanwhile:
// clicks, serial notifications and repaints run to their end inside it, so a handler may be
// re-entered. Between events it sleeps in the event dispatcher instead of polling.
// GUI thread only.
void WaitWithMessages(int ms);

// The same wait, ended early as soon as `cancelled` holds after a round of events (it is also
// asked first, before any event runs). True when the whole time passed, false when cancelled.
bool WaitWithMessages(int ms, const std::function<bool()>& cancelled);

}  // namespace kelta
