#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace tindrel::test {

// Sets one environment variable (or removes it, given nullopt) for the guard's lifetime; the
// previous value or its absence comes back at destruction. Main thread only.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)) {
        if (const char* previous = std::getenv(name_.c_str()))
            previous_ = previous;
        assign(value);
    }
    ~ScopedEnvironmentVariable() { assign(previous_); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    void assign(const std::optional<std::string>& value) const {
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

    std::string name_;
    std::optional<std::string> previous_;
};

} // namespace tindrel::test
