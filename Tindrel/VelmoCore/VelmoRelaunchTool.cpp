// The relaunch shell's two steps that the shell's own tools cannot take:
//   exchange A B        swaps the two folders in one step (both stay on one file system);
//   same-version A B    true when A is a version and B is empty or the same version by the
//                       update check's rule ("1.3" and "1.3.0" are the same).
// Exit status 0 for done or true, 1 otherwise, 2 for a wrong call.

#include "Tindrel/VelmoCore/VelmoVersionNumbers.h"

#include <fcntl.h>
#include <stdio.h>

#include <cstring>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const std::string_view command = argv[1];
    if (command == "exchange")
        return renameat2(AT_FDCWD, argv[2], AT_FDCWD, argv[3], RENAME_EXCHANGE) == 0 ? 0 : 1;
    if (command == "same-version") {
        const std::string_view answer = velmo::VelmoVersionNumbers::trimmed(argv[2]);
        const std::string_view expected = argv[3];
        return !answer.empty() &&
                       (expected.empty() || velmo::VelmoVersionNumbers::areSame(answer, expected))
                   ? 0
                   : 1;
    }
    return 2;
}
