#pragma once

#include <QString>

namespace corvane {

class LogSink;
class ModelQuery;

// The text that stands for a model that could not be read. It has no Touch Bar.
inline constexpr auto unknownModel = QLatin1StringView("Unknown");

// Reads the hardware model identifier ("hw.model") through `query`. The answer must need 1 to
// 1023 bytes, terminating zero included; anything else, or a failing read, is logged under
// "🔒 Security:" and yields unknownModel. The text ends at the first zero byte; an answer that
// fills the whole buffer without one is taken whole, and nothing past the buffer is read.
// Bytes that are not UTF-8 become U+FFFD. The text is not trimmed.
QString getModelIdentifier(ModelQuery& query, LogSink& log);

// `model` without leading and trailing Unicode blanks and line breaks.
QString trimModel(const QString& model);

// Whether `model` is, exactly and case-sensitively, one of the 15 models with a Touch Bar.
bool isTouchBarModel(const QString& model);

} // namespace corvane
