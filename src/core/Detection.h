#pragma once

#include "core/Backend.h"
#include "core/Processes.h"

#include <QString>

namespace corvane {

// The text that stands for a model that could not be read. It has no Touch Bar.
inline constexpr auto unknownModel = QLatin1StringView("Unknown");

// The hardware model identifier through `query`, or unknownModel where the machine names none.
// The text is not trimmed.
QString getModelIdentifier(ModelQuery& query, Log& log);

// Whether `model` is, exactly and case-sensitively, one of the 14 models with a Touch Bar.
bool isTouchBarModel(const QString& model);

// Whether the model, without leading and trailing blanks, has a Touch Bar that `backend` can
// serve without a look at its processes; logs three lines. Runs no tool, so it may run on the
// GUI thread.
bool initialTouchBarDetection(const Services& services, const Backend& backend);

// Whether there is a Touch Bar: the model has one (unless the backend is there only while its
// processes run), one of the backend's critical processes runs (TouchBarServer, else
// ControlStrip; or tiny-dfr), or the backend is the Linux daemon, which is installed only for a
// Touch Bar. Logs five or six lines after whatever the probes print. Blocks while they run.
bool checkTouchBarAvailability(const Processes& processes, const Services& services,
                               const Backend& backend);

} // namespace corvane
