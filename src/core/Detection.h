#pragma once

#include "core/Backend.h"
#include "core/ProcessControl.h"

#include <QString>

namespace corvane {

// The text that stands for a model that could not be read. It has no Touch Bar.
inline constexpr auto unknownModel = QLatin1StringView("Unknown");

// Reads the hardware model identifier ("hw.model") through `query`. The answer must need 1 to
// 1023 bytes, terminating zero included; anything else, or a failing read, is logged under
// "🔒 Security:" and yields unknownModel. The text ends at the first zero byte; an answer that
// fills the whole buffer without one is taken whole, and nothing past the buffer is read.
// Bytes that are not UTF-8 become U+FFFD. The text is not trimmed.
QString getModelIdentifier(ModelQuery& query, Log& log);

// Whether `model` is, exactly and case-sensitively, one of the 14 models with a Touch Bar.
bool isTouchBarModel(const QString& model);

// Whether the model, without leading and trailing blanks, has a Touch Bar; logs three lines.
// Runs no tool, so it may run on the GUI thread.
bool initialTouchBarDetection(const Services& services);

// Whether there is a Touch Bar: the model has one, one of the backend's critical processes runs
// (TouchBarServer, else ControlStrip; or tiny-dfr), or the backend is the Linux daemon, which is
// installed only for a Touch Bar. Logs five or six lines after whatever the probes print.
// Blocks while they run.
bool checkTouchBarAvailability(const ProcessControl& processes, const Services& services,
                               const Backend& backend);

} // namespace corvane
