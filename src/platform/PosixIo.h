#pragma once

#include <QByteArray>

namespace corvane {

// Writes all of `bytes` to `descriptor`, resuming after interruptions and partial writes;
// false once the descriptor takes no more.
bool writeAll(int descriptor, const QByteArray& bytes);

} // namespace corvane
