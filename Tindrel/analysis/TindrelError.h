#pragma once

// The one error kind the loader throws: domain "Tindrel", code -1, and a message that the
// caller shows as the error's description.

#include <stdexcept>
#include <string>

namespace tindrel {

class TindrelError : public std::runtime_error {
public:
    explicit TindrelError(const std::string& message) : std::runtime_error(message) {}
    static constexpr const char* domain = "Tindrel";
    static constexpr int code = -1;
};

} // namespace tindrel
