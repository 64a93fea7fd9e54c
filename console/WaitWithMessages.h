#pragma once

namespace kelta {

// Lasts at least `ms` milliseconds (a zero wait at least until the millisecond clock moves on;
// a negative one processes what is pending once) and runs every event that arrives meanwhile:
// clicks, serial notifications and repaints run to their end inside it, so a handler may be
// re-entered. Between events it sleeps in the event dispatcher instead of polling.
// GUI thread only.
void WaitWithMessages(int ms);

}  // namespace kelta
