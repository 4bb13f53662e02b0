#pragma once

#include "platform/Services.h"

#include <QStringList>

#include <chrono>

namespace corvane {

// How long a tool may run: far longer than any of them needs, so only one that hangs meets it.
inline constexpr std::chrono::seconds toolTimeLimit{5};
// How long an administrator's prompt may wait for the person at the computer, and then how
// long what it runs may take: the helper bounds each of its own steps, the longest being the
// driver reload with its waits.
inline constexpr std::chrono::minutes promptTimeLimit{5};
inline constexpr std::chrono::minutes administratorTimeLimit{1};

// Which of a tool's own words reach the user: what it prints on standard output passes on to
// ours, and its complaints to our standard error unless the caller keeps them as a failure's
// detail.
enum class Echo { OutputAndErrors, Output, Nothing };

// A tool's error output exactly as written, or "Unknown error" when it is not UTF-8.
QString toolWords(const QByteArray& standardError);
// "<program> did not finish within <limit> seconds and was stopped".
QString timeLimitText(const QString& program, std::chrono::milliseconds limit);

// The tools one restart, detection or reading runs, with what they remember together: a tool
// that ran out of time is logged, killed, counts as failed, and is not started again.
class ToolSession {
public:
    explicit ToolSession(const Services& services);
    // It keeps a reference: a temporary would be gone before the first run.
    explicit ToolSession(Services&&) = delete;

    // Runs `program` within `timeLimit` and passes on what `echo` says; a tool that ran out of
    // time before counts as having run out of time again.
    ToolOutcome run(const QString& program, const QStringList& arguments, Echo echo,
                    std::chrono::milliseconds timeLimit = toolTimeLimit) const;

    // The tools that ran out of time so far, by path.
    const QStringList& timedOutTools() const { return timedOut; }

    const Services& services() const { return machine; }
    Log& log() const { return machine.output; }

private:
    const Services& machine;
    mutable QStringList timedOut;
};

} // namespace corvane
