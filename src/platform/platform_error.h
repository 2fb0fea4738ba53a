#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// The one failure every platform operation throws: what was being done (naming the file or
// device) and the system's reason. A handler stops at the throwing step; the Qt side reports it.
class PlatformError : public std::runtime_error {
public:
    PlatformError(std::string operation, std::string reason)
        : std::runtime_error(operation + ": " + reason),
          operation_(std::move(operation)),
          reason_(std::move(reason)) {}

    const std::string& operation() const { return operation_; }
    const std::string& reason() const { return reason_; }

private:
    std::string operation_;
    std::string reason_;
};

}  // namespace corvane
