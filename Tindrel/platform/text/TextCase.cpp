#include "Tindrel/platform/text/TextCase.h"

#include <locale.h>
#include <wctype.h>

namespace tindrel {

namespace {

// C.UTF-8 is built into the C library: its case tables are Unicode's, with no language rules.
locale_t unicodeCaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return locale;
}

// The code point starting at `text[index]` and its length in bytes; length 0 when the bytes
// there are not a well-formed UTF-8 sequence.
std::pair<char32_t, size_t> decodeAt(std::string_view text, size_t index) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(index);
    if (lead < 0x80)
        return {lead, 1};
    size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return {0, 0};
    }
    if (index + length > text.size())
        return {0, 0};
    for (size_t i = 1; i < length; ++i) {
        if ((byte(index + i) & 0xC0) != 0x80)
            return {0, 0};
        value = (value << 6) | (byte(index + i) & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {0, 0};
    return {value, length};
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::string unicodeUppercased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const locale_t locale = unicodeCaseLocale();
    for (size_t i = 0; i < text.size();) {
        const auto [c, length] = decodeAt(text, i);
        if (length == 0) {
            out += text[i++];
            continue;
        }
        char32_t upper = c;
        if (c < 0x80)
            upper = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
        else if (locale != locale_t(0))
            upper = char32_t(towupper_l(wint_t(c), locale));
        appendUtf8(out, upper);
        i += length;
    }
    return out;
}

} // namespace tindrel
