#pragma once

#include "TouchBarError.h"

#include <optional>

namespace corvane {

// The outcome of a fallible operation: success carrying nothing, or one TouchBarError.
class TouchBarResult {
public:
    static TouchBarResult success() { return TouchBarResult(std::nullopt); }
    static TouchBarResult failure(TouchBarError error) { return TouchBarResult(std::move(error)); }

    bool isSuccess() const { return !failureError.has_value(); }
    // The error of a failure; only valid when isSuccess() is false.
    const TouchBarError& error() const { return *failureError; }

private:
    explicit TouchBarResult(std::optional<TouchBarError> error)
        : failureError(std::move(error)) {}

    std::optional<TouchBarError> failureError;
};

} // namespace corvane
