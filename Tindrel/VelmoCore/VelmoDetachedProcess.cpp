#include "Tindrel/VelmoCore/VelmoDetachedProcess.h"

#include <QProcessEnvironment>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmo {

namespace {

// Moves a descriptor above every number the program is handed, so that handing over cannot
// overwrite it.
bool moveAbove(int& descriptor, const std::map<int, int>& handedDescriptors) {
    int highest = 2;
    for (const auto& [from, to] : handedDescriptors)
        highest = std::max(highest, to);
    if (descriptor > highest)
        return true;
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, highest + 1);
    close(descriptor);
    descriptor = moved;
    return moved >= 0;
}

} // namespace

bool VelmoDetachedProcess::start(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const std::map<QString, QString>& extraEnvironment,
                                 const std::map<int, int>& handedDescriptors) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : extraEnvironment)
        environment.insert(name, value);
    std::vector<std::string> environmentTexts;
    for (const QString& entry : environment.toStringList())
        environmentTexts.push_back(entry.toStdString());

    // Everything the children need is built before fork: after it only async-signal-safe calls.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environmentTexts)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    const bool reportMoved = moveAbove(report[0], handedDescriptors);
    if (!moveAbove(report[1], handedDescriptors) || !reportMoved) {
        for (const int descriptor : report)
            if (descriptor >= 0)
                close(descriptor);
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            bool handed = true;
            for (const auto& [from, to] : handedDescriptors)
                handed = handed && (from == to ? fcntl(to, F_SETFD, 0) == 0 : dup2(from, to) == to);
            if (handed)
                execve(argv[0], argv.data(), envp.data());
            const int failure = errno;
            (void)!write(report[1], &failure, sizeof failure);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    int childStatus = 0;
    while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    int failure = 0;
    ssize_t got;
    do {
        got = read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0 && got == 0;
}

} // namespace velmo
