#pragma once

// What the store calls while a decode or an export holds the main thread. Each call lets Qt
// handle the window system's events (expose, the window manager's ping, resizes) and the paints
// they ask for, but no user input, socket notifier or timer: the keyboard and mouse, a later
// launch's hand-over, the termination signals' notifier and every timer wait until the work is
// over, so nothing but painting runs in the middle of a store operation. It answers false once
// a termination signal is waiting: the work then stops, and the signal takes the program's
// usual way out as soon as the event loop runs again. GUI thread only.

#include <functional>

namespace tindrel {

std::function<bool()> windowPaintingHeartbeat(std::function<bool()> terminationPending);

} // namespace tindrel
