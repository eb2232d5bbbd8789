#include "tests/support/ScopedLocale.h"

#include <clocale>

namespace tindrel::test {

ScopedCommaDecimalLocale::ScopedCommaDecimalLocale() {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current ? current : "C";
    available_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

ScopedCommaDecimalLocale::~ScopedCommaDecimalLocale() { std::setlocale(LC_ALL, previous_.c_str()); }

} // namespace tindrel::test
