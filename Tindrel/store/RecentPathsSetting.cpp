#include "Tindrel/store/RecentPathsSetting.h"

#include "Tindrel/platform/files/ConfigFileReader.h"
#include "Tindrel/platform/files/FileReplacement.h"

#include <optional>
#include <string_view>
#include <system_error>

namespace tindrel {

namespace {

constexpr std::string_view recentPathsKey = "Tindrel.recentPaths";
constexpr std::string_view generalGroupHeader = "[General]";

using platform::ConfigFileContents;

// Escapes that stand for one character, as Qt reads them.
std::optional<char> simpleEscape(char letter) {
    constexpr std::string_view letters = "abfnrtv\"?'\\";
    constexpr std::string_view characters = "\a\b\f\n\r\t\v\"?'\\";
    const size_t at = letters.find(letter);
    return at == std::string_view::npos ? std::nullopt : std::optional(characters[at]);
}

int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// A "\x" or octal escape names a UTF-16 code unit; a lone surrogate has no UTF-8 form.
void appendUtf8(std::string& out, unsigned code) {
    if (code >= 0xD800 && code <= 0xDFFF)
        code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code unit of a "\x" or octal escape: its digits as far as they go, cut to 16 bits as
// Qt's reader does; `i` moves past them.
unsigned escapedCodeUnit(std::string_view text, size_t& i, unsigned base, unsigned code) {
    for (; i < text.size() && digitValue(text[i], static_cast<int>(base)) >= 0; ++i)
        code = (code * base + static_cast<unsigned>(digitValue(text[i], static_cast<int>(base)))) &
               0xFFFF;
    return code;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The strings of an INI value as Qt's reader splits and unescapes them, bytes outside the
// escapes taken as they are. None when an item is not a plain string ("@Invalid()" and
// other "@" forms; "@@" stands for a leading "@").
std::optional<std::vector<std::string>> iniStrings(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    bool inQuotes = false;
    bool itemQuoted = false;
    size_t keepUpTo = 0; // trailing blanks are dropped down to here, never escaped ones
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        keepUpTo = item.size();
    };
    const auto dropTrailingBlanks = [&] {
        if (!itemQuoted)
            while (item.size() > keepUpTo && isBlank(item.back()))
                item.pop_back();
    };
    skipBlanks();
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '\\') {
            if (i == text.size())
                break;
            const char letter = text[i++];
            if (const std::optional<char> escaped = simpleEscape(letter)) {
                item += *escaped;
            } else if (letter == 'x' && i < text.size() && digitValue(text[i], 16) >= 0) {
                appendUtf8(item, escapedCodeUnit(text, i, 16, 0));
            } else if (const int octal = digitValue(letter, 8); octal >= 0) {
                appendUtf8(item, escapedCodeUnit(text, i, 8, static_cast<unsigned>(octal)));
            } else if ((letter == '\n' || letter == '\r') && i < text.size() &&
                       (text[i] == '\n' || text[i] == '\r') && text[i] != letter) {
                ++i; // an escaped line break of either kind is dropped, like any other
            }
            keepUpTo = item.size();
        } else if (c == '"') {
            itemQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            dropTrailingBlanks();
            items.push_back(std::move(item));
            item.clear();
            itemQuoted = false;
            skipBlanks();
        } else {
            item += c;
        }
    }
    dropTrailingBlanks();
    items.push_back(std::move(item));
    for (std::string& entry : items) {
        if (entry.starts_with("@@"))
            entry.erase(0, 1);
        else if (entry.starts_with('@'))
            return std::nullopt;
    }
    return items;
}

std::string hexByte(unsigned char c) {
    constexpr std::string_view digits = "0123456789abcdef";
    std::string hex = "\\x";
    if (c >= 16)
        hex += digits[c >> 4];
    hex += digits[c & 15];
    return hex;
}

// One string in the form Qt's writer gives it; bytes from 0x80 up are written as they are.
std::string iniString(std::string_view bytes) {
    std::string out = bytes.starts_with('@') ? "@" : "";
    bool needsQuotes = false;
    bool escapeHexDigit = false; // after "\x..", so that a following digit is not read into it
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        needsQuotes = needsQuotes || c == ';' || c == ',' || c == '=';
        if (escapeHexDigit && digitValue(c, 16) >= 0) {
            out += hexByte(byte);
            continue;
        }
        escapeHexDigit = false;
        constexpr std::string_view controls = "\a\b\f\n\r\t\v";
        if (const size_t at = controls.find(c); at != std::string_view::npos && c != '\0') {
            out += '\\';
            out += "abfnrtv"[at];
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte <= 0x1F) {
            out += hexByte(byte);
            escapeHexDigit = true;
        } else {
            out += c;
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

std::string iniStringList(const std::vector<std::filesystem::path>& paths) {
    if (paths.empty())
        return "@Invalid()";
    std::string value;
    for (const std::filesystem::path& path : paths) {
        if (!value.empty())
            value += ", ";
        value += iniString(path.native());
    }
    return value;
}

struct Line {
    size_t begin, end; // end excludes the line break
};

std::vector<Line> linesOf(std::string_view text) {
    std::vector<Line> lines;
    for (size_t begin = 0; begin < text.size();) {
        const size_t end = std::min(text.find('\n', begin), text.size());
        lines.push_back({begin, end});
        begin = end + 1;
    }
    return lines;
}

std::string_view trimmed(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// Where the key's line in force lies (its last one in [General], or before any group, which
// Qt counts as General), and where the [General] header is.
struct KeyLocation {
    std::optional<Line> keyLine;
    std::optional<Line> generalHeader;
    std::string_view value;
};

KeyLocation locateKey(std::string_view text) {
    KeyLocation location;
    bool inGeneral = true;
    for (const Line& line : linesOf(text)) {
        const std::string_view content = trimmed(text.substr(line.begin, line.end - line.begin));
        if (content.starts_with('[')) {
            inGeneral = content == generalGroupHeader;
            if (inGeneral && !location.generalHeader)
                location.generalHeader = line;
            continue;
        }
        const size_t equals = content.find('=');
        if (!inGeneral || equals == std::string_view::npos ||
            trimmed(content.substr(0, equals)) != recentPathsKey)
            continue;
        location.keyLine = line;
        location.value = content.substr(equals + 1);
    }
    return location;
}

} // namespace

std::vector<std::filesystem::path> readRecentPaths(const std::filesystem::path& settingsFile) {
    const ConfigFileContents contents = platform::readConfigFile(settingsFile);
    if (contents.state != ConfigFileContents::State::read)
        return {};
    const KeyLocation location = locateKey(contents.bytes);
    if (!location.keyLine)
        return {};
    const std::optional<std::vector<std::string>> strings = iniStrings(location.value);
    return strings ? std::vector<std::filesystem::path>(strings->begin(), strings->end())
                   : std::vector<std::filesystem::path>{};
}

bool writeRecentPaths(const std::filesystem::path& settingsFile,
                      const std::vector<std::filesystem::path>& paths, std::string* error) {
    const ConfigFileContents contents = platform::readConfigFile(settingsFile);
    if (contents.state == ConfigFileContents::State::unusable) {
        if (error)
            *error = settingsFile.string() + ": " + contents.problem;
        return false;
    }
    const std::string line = std::string(recentPathsKey) + "=" + iniStringList(paths);
    std::string text = contents.bytes;
    const KeyLocation location = locateKey(text);
    if (location.keyLine)
        text.replace(location.keyLine->begin, location.keyLine->end - location.keyLine->begin,
                     line);
    else if (location.generalHeader)
        text.insert(location.generalHeader->end, "\n" + line);
    else
        text = std::string(generalGroupHeader) + "\n" + line + "\n" + (text.empty() ? "" : "\n") +
               text;
    std::error_code ignored;
    std::filesystem::create_directories(settingsFile.parent_path(), ignored);
    return platform::replaceFileContents(settingsFile, text, error);
}

} // namespace tindrel
