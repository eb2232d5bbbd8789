#pragma once

// What the store calls while a decode or an export holds the main thread. Each call lets Qt
// handle whatever waits: the window system's events and the paints they ask for, the user's
// input, timers, sockets and posted calls. What of that reaches the store is held at its gate
// until the work is over; a way out (the window closed, Ctrl+Q, an Exit button, a termination
// signal) stops the work at once. It answers false once `wayOutTaken` says so: the work then
// stops, and the program ends as soon as the event loop runs again. GUI thread only.

#include <functional>

namespace tindrel {

std::function<bool()> windowPaintingHeartbeat(std::function<bool()> wayOutTaken);

} // namespace tindrel
