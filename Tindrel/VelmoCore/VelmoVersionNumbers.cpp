#include "Tindrel/VelmoCore/VelmoVersionNumbers.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmo {

namespace {

bool isTrimmedFromVersions(char c) {
    return c == 'v' || c == 'V' || c == ' ';
}

// One piece reads when it is an optional sign and decimal digits only, within 64 bits.
std::optional<std::int64_t> readPiece(std::string_view piece) {
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    // A second sign ("+-1") is no number: from_chars would take the "-" after the "+".
    if (piece.empty() || piece.front() < '0' || piece.front() > '9')
        return std::nullopt;
    const std::string signedDigits = (negative ? "-" : "") + std::string(piece);
    std::int64_t value = 0;
    const auto [end, error] =
        std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
    if (error != std::errc() || end != signedDigits.data() + signedDigits.size())
        return std::nullopt;
    return value;
}

std::vector<std::int64_t> versionNumbers(std::string_view text) {
    std::vector<std::int64_t> numbers;
    text = VelmoVersionNumbers::trimmed(text);
    while (!text.empty()) {
        const size_t dot = std::min(text.find('.'), text.size());
        if (const std::optional<std::int64_t> number = readPiece(text.substr(0, dot)))
            numbers.push_back(*number);
        text.remove_prefix(std::min(dot + 1, text.size()));
    }
    return numbers;
}

} // namespace

std::string_view VelmoVersionNumbers::trimmed(std::string_view text) {
    while (!text.empty() && isTrimmedFromVersions(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isTrimmedFromVersions(text.back()))
        text.remove_suffix(1);
    return text;
}

bool VelmoVersionNumbers::isNewer(std::string_view candidate, std::string_view reference) {
    const std::vector<std::int64_t> a = versionNumbers(candidate);
    const std::vector<std::int64_t> b = versionNumbers(reference);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::int64_t left = i < a.size() ? a[i] : 0;
        const std::int64_t right = i < b.size() ? b[i] : 0;
        if (left != right)
            return left > right;
    }
    return false;
}

bool VelmoVersionNumbers::areSame(std::string_view a, std::string_view b) {
    return !isNewer(a, b) && !isNewer(b, a);
}

} // namespace velmo
