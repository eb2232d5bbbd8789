#pragma once

// Starting a program that outlives this one: it runs in a session of its own (so closing the
// caller's terminal or session does not stop it), is not the caller's child (no zombie, no
// wait), and receives the caller's environment with `extraEnvironment` laid over it, and of the
// caller's descriptors only those it is handed. Any thread.

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace velmo {

struct VelmoDetachedProcess {
    // True once `program` has been executed; false when it could not be started at all.
    // `handedDescriptors`: the caller's descriptor -> its number in the program (above 2).
    static bool start(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<QString, QString>& extraEnvironment,
                      const std::map<int, int>& handedDescriptors = {});
};

} // namespace velmo
