#pragma once

#include <QString>

#include <ostream>

// Lets test failures show Qt texts as text rather than as arrays of 16-bit units.
// NOLINTNEXTLINE(readability-identifier-naming): the name GoogleTest looks for.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
