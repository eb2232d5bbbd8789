#include "Tindrel/VelmoCore/VelmoRelaunch.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace velmo {

std::string VelmoRelaunch::failedUpdateReason() {
    const char* reason = std::getenv("VELMO_UPDATE_FAILED");
    return reason ? reason : "";
}

void VelmoRelaunch::reportRunning() {
    const char* text = std::getenv("VELMO_UPDATE_REPORT_FD");
    if (!text)
        return;
    int descriptor = -1;
    const char* end = text + std::strlen(text);
    struct stat status {};
    // Only the pipe the relaunch handed over is written to, never whatever else has that number.
    if (std::from_chars(text, end, descriptor).ptr != end || descriptor < 3 ||
        fstat(descriptor, &status) != 0 || !S_ISFIFO(status.st_mode))
        return;
    (void)!write(descriptor, "up\n", 3);
    close(descriptor);
}

} // namespace velmo
