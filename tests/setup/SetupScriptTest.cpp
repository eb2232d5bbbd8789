// The setup script against recording stand-ins for the package tools on PATH: what it asks of
// the package manager, and of sudo, on machines with everything or something missing.
#include "tests/support/FileText.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;
using tindrel::test::readFileText;
using tindrel::test::TemporaryFolder;

namespace {

const fs::path script = fs::path(TINDREL_SOURCE_DIR) / "tindrel.sh";

// The names in the script's package list.
std::set<std::string> listedPackages() {
    const std::string text = readFileText(script);
    const auto start = text.find("packages=(");
    const auto end = text.find(')', start);
    std::set<std::string> names;
    const std::string body = text.substr(start + 10, end - start - 10);
    const std::regex word(R"([a-z0-9][a-z0-9.+-]+)");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), word); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

void writeExecutable(const fs::path& path, const std::string& body) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

struct SetupRun {
    int exitStatus;
    std::string calls;  // one line per package-tool, sudo and build call
    std::string errors; // the script's standard error
};

// Runs `tindrel.sh COMMAND` as user UID on a machine whose dpkg database holds INSTALLED
// ("ii |package|provides" lines), or this machine's own when INSTALLED is empty.
SetupRun runSetup(const std::string& command, int uid, const std::string& installed) {
    TemporaryFolder folder;
    const fs::path bin = folder / "bin";
    const fs::path log = folder / "calls";
    std::ofstream(folder / "installed") << installed;
    const std::string record = "echo \"$(basename \"$0\") $*\" >>'" + log.string() + "'\n";
    if (!installed.empty())
        writeExecutable(bin / "dpkg-query", "cat '" + (folder / "installed").string() + "'\n");
    writeExecutable(bin / "id", "echo " + std::to_string(uid) + "\n");
    writeExecutable(bin / "locale", "printf 'C.utf8\\nde_DE.utf8\\ntr_TR.utf8\\n'\n");
    for (const char* tool : {"apt-get", "sudo", "locale-gen", "cmake"})
        writeExecutable(bin / tool, record);
    writeExecutable(folder / "build/Tindrel/shell/tindrel", record);

    const std::string shell = "cd '" + folder.path().string() + "' && PATH='" + bin.string() +
                              ":/usr/bin:/bin' TINDREL_BUILD_DIR='" + (folder / "build").string() +
                              "' bash '" + script.string() + "' " + command + " 2>errors";
    const int status = std::system(shell.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileText(log),
            readFileText(folder / "errors")};
}

std::string dpkgLines(const std::set<std::string>& packages) {
    std::string lines;
    for (const auto& name : packages)
        lines += "ii |" + name + "|\n";
    return lines;
}

} // namespace

TEST(SetupScript, AsksThePackageManagerOnlyForWhatIsMissingAndNeverPromptsAUser) {
    std::set<std::string> all = listedPackages();
    ASSERT_GT(all.size(), 20u);
    ASSERT_TRUE(all.count("ffmpeg") && all.count("qt6-svg-dev"));
    std::set<std::string> withoutFfmpeg = all;
    withoutFfmpeg.erase("ffmpeg");
    // qt6-svg-dev given only by another package that provides it
    std::set<std::string> svgProvided = all;
    svgProvided.erase("qt6-svg-dev");
    const std::string providedLines =
        dpkgLines(svgProvided) + "ii |other-svg-dev|qt6-svg-dev (= 6.4.2-2), libqt6svg6-dev\n";

    struct Case {
        const char* what;
        int uid;
        std::string installed;
        int exitStatus;
        bool aptInstallsFfmpeg;
        bool tellsUser;
    } cases[] = {
        {"this machine, set up by the script", 1000, "", 0, false, false},
        {"root, everything there", 0, dpkgLines(all), 0, false, false},
        {"root, a provided name", 0, providedLines, 0, false, false},
        {"user, everything there", 1000, dpkgLines(all), 0, false, false},
        {"root, ffmpeg missing", 0, dpkgLines(withoutFfmpeg), 0, true, false},
        {"user, ffmpeg missing", 1000, dpkgLines(withoutFfmpeg), 1, false, true},
        {"root, ffmpeg removed", 0, dpkgLines(withoutFfmpeg) + "rc |ffmpeg|\n", 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SetupRun run = runSetup("run song.wav", c.uid, c.installed);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.errors;
        EXPECT_EQ(run.calls.find("sudo"), std::string::npos) << run.calls;
        EXPECT_EQ(run.calls.find("apt-get update") != std::string::npos, c.aptInstallsFfmpeg);
        EXPECT_EQ(std::regex_search(run.calls, std::regex("apt-get install .*ffmpeg")),
                  c.aptInstallsFfmpeg)
            << run.calls;
        if (c.tellsUser) {
            EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
            EXPECT_TRUE(std::regex_search(run.errors, std::regex("missing ffmpeg;.*sudo .*apt-get install .*ffmpeg")))
                << run.errors;
            EXPECT_EQ(run.calls, "");
        } else {
            // run builds the program alone and starts it with the file
            EXPECT_NE(run.calls.find("cmake --build"), std::string::npos) << run.calls;
            EXPECT_TRUE(std::regex_search(run.calls, std::regex("--target tindrel\n"))) << run.calls;
            EXPECT_NE(run.calls.find("tindrel song.wav"), std::string::npos) << run.calls;
        }
    }
}
