#pragma once

#include <string>

namespace tindrel::test {

// Switches the whole process to the locale `name` (for example "tr_TR.UTF-8") for the guard's
// lifetime, so tests can prove that text handling ignores it. available() is false when the
// locale is not installed.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool available() const { return available_; }

private:
    std::string previous_;
    bool available_ = false;
};

// A comma-decimal locale (de_DE.UTF-8), for formatting and parsing numbers.
class ScopedCommaDecimalLocale : public ScopedLocale {
public:
    ScopedCommaDecimalLocale() : ScopedLocale("de_DE.UTF-8") {}
};

// Turkish (tr_TR.UTF-8), whose "i" and "I" are not each other's cases.
class ScopedTurkishLocale : public ScopedLocale {
public:
    ScopedTurkishLocale() : ScopedLocale("tr_TR.UTF-8") {}
};

} // namespace tindrel::test
