#pragma once

// The text of one mimeapps.list file (groups such as [Default Applications] with lines
// "mime/type=app1.desktop;app2.desktop;"). Edits touch only the line of the key they change,
// or append one; every other line (comments, other groups, other applications' entries) is
// kept byte for byte. A plain value with no I/O; one thread at a time.

#include <string>
#include <vector>

namespace tindrel::platform {

class MimeAppsList {
public:
    static constexpr const char* defaultApplicationsGroup = "Default Applications";
    static constexpr const char* addedAssociationsGroup = "Added Associations";
    static constexpr const char* removedAssociationsGroup = "Removed Associations";

    explicit MimeAppsList(const std::string& text = {});

    // The desktop ids listed for the key in the group, in order; empty when absent. A key given
    // more than once counts with its last line.
    std::vector<std::string> applications(const std::string& group,
                                          const std::string& mimeType) const;

    // Replaces the key's list (the last line of that key in the group), appends the key to the
    // group, or appends the group. An empty list removes every line of the key in the group.
    void setApplications(const std::string& group, const std::string& mimeType,
                         const std::vector<std::string>& desktopIds);

    std::string text() const;

private:
    struct Line {
        std::string text;
        std::string group; // the group the line belongs to; empty before the first header
        bool isHeader = false;
        std::string key; // set for "key=value" lines
        std::string value;
    };

    std::vector<Line> lines_;
    bool endsWithNewline_ = true;
};

} // namespace tindrel::platform
