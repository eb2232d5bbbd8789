#pragma once

#include <string>

namespace tindrel::test {

// Switches the process to a comma-decimal locale (de_DE.UTF-8) for the guard's lifetime,
// so tests can prove that formatting and parsing ignore it. available() is false when the
// locale is not installed.
class ScopedCommaDecimalLocale {
public:
    ScopedCommaDecimalLocale();
    ~ScopedCommaDecimalLocale();
    ScopedCommaDecimalLocale(const ScopedCommaDecimalLocale&) = delete;
    ScopedCommaDecimalLocale& operator=(const ScopedCommaDecimalLocale&) = delete;
    bool available() const { return available_; }

private:
    std::string previous_;
    bool available_ = false;
};

} // namespace tindrel::test
