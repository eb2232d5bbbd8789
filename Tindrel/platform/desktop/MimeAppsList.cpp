#include "Tindrel/platform/desktop/MimeAppsList.h"

#include <algorithm>
#include <sstream>

namespace tindrel::platform {

namespace {

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r";
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

std::vector<std::string> splitIds(const std::string& value) {
    std::vector<std::string> ids;
    std::string id;
    std::istringstream stream(value);
    while (std::getline(stream, id, ';')) {
        id = trimmed(id);
        if (!id.empty())
            ids.push_back(id);
    }
    return ids;
}

std::string joinIds(const std::vector<std::string>& ids) {
    std::string value;
    for (const std::string& id : ids)
        value += id + ";";
    return value;
}

} // namespace

MimeAppsList::MimeAppsList(const std::string& text) {
    std::string group;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        const bool lastWithoutNewline = end == std::string::npos;
        if (lastWithoutNewline)
            end = text.size();
        Line line;
        line.text = text.substr(begin, end - begin);
        const std::string content = trimmed(line.text);
        if (content.size() >= 2 && content.front() == '[' && content.back() == ']') {
            group = content.substr(1, content.size() - 2);
            line.isHeader = true;
        } else if (!content.empty() && content.front() != '#') {
            const size_t equals = content.find('=');
            if (equals != std::string::npos) {
                line.key = trimmed(content.substr(0, equals));
                line.value = trimmed(content.substr(equals + 1));
            }
        }
        line.group = group;
        lines_.push_back(std::move(line));
        endsWithNewline_ = !lastWithoutNewline;
        begin = end + 1;
    }
}

std::vector<std::string> MimeAppsList::applications(const std::string& group,
                                                    const std::string& mimeType) const {
    // A key given twice counts with its last line, as the desktop's own reader takes it.
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
        if (!line->isHeader && line->group == group && line->key == mimeType)
            return splitIds(line->value);
    }
    return {};
}

void MimeAppsList::setApplications(const std::string& group, const std::string& mimeType,
                                   const std::vector<std::string>& desktopIds) {
    Line line;
    line.group = group;
    line.key = mimeType;
    line.value = joinIds(desktopIds);
    line.text = line.key + "=" + line.value;

    auto matches = [&](const Line& l) {
        return !l.isHeader && l.group == group && l.key == mimeType;
    };
    auto existing = std::find_if(lines_.rbegin(), lines_.rend(), matches);
    if (existing != lines_.rend()) {
        // Removing only the last line would bring an earlier one back into force.
        if (desktopIds.empty())
            lines_.erase(std::remove_if(lines_.begin(), lines_.end(), matches), lines_.end());
        else
            *existing = std::move(line);
        return;
    }
    if (desktopIds.empty())
        return;
    endsWithNewline_ = true;

    auto header = std::find_if(lines_.begin(), lines_.end(),
                               [&](const Line& l) { return l.isHeader && l.group == group; });
    if (header == lines_.end()) {
        if (!lines_.empty() && !trimmed(lines_.back().text).empty()) {
            Line separator;
            separator.group = lines_.back().group;
            lines_.push_back(std::move(separator));
        }
        Line newHeader;
        newHeader.text = "[" + group + "]";
        newHeader.group = group;
        newHeader.isHeader = true;
        lines_.push_back(std::move(newHeader));
        lines_.push_back(std::move(line));
        return;
    }
    // After the group's last entry, so blank lines that separate groups stay where they are.
    auto insertAt = std::next(header);
    for (auto it = std::next(header); it != lines_.end() && !it->isHeader; ++it) {
        if (!trimmed(it->text).empty())
            insertAt = std::next(it);
    }
    lines_.insert(insertAt, std::move(line));
}

std::string MimeAppsList::text() const {
    std::string out;
    for (size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        if (i + 1 < lines_.size() || endsWithNewline_)
            out += '\n';
    }
    return out;
}

} // namespace tindrel::platform
