#pragma once

// Getting written data onto the disk without holding up the thread that wrote it: writeback of
// a range can be started as the writing goes, and the final flush runs on a thread of its own
// while the caller's own work (painting its windows) goes on.

#include <chrono>
#include <cstdint>
#include <functional>

namespace tindrel::platform {

// Starts writing `length` bytes from `offset` to the disk without waiting for them, so that
// the final flush finds little left to do. A hint: a file system that cannot is left alone.
void startWriteback(int fd, int64_t offset, int64_t length);

enum class FlushOutcome { flushed, failed, stopped };

// Flushes the file's data and size to the disk (fsync), calling `keepGoing` every `interval`
// until it is done. `failed` leaves errno set. `stopped`, when keepGoing said so: the flush
// then finishes unseen on a duplicate of the descriptor, and the caller may close its own.
// Any thread.
FlushOutcome flushToDisk(int fd, const std::function<bool()>& keepGoing,
                         std::chrono::milliseconds interval);

} // namespace tindrel::platform
