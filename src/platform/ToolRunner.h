#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace corvane {

// Why a tool never ran, as opposed to a tool that ran and exited with a failure status.
struct LaunchError {
    // Short text for the user, e.g. "No such file or directory".
    QString localizedDescription;
    // The whole error with its domain and code, for diagnostics, e.g.
    // Error Domain=NSPOSIXErrorDomain Code=2 "No such file or directory" UserInfo={...}
    QString fullText;
};

struct ToolOutcome {
    // Set when the tool could not be started; the other members are then meaningless.
    std::optional<LaunchError> launchError;
    // The exit status; a tool ended by a signal reports 128 + the signal number, so it can
    // never be mistaken for the tool's own 0 ("done") or 1 ("nothing matched").
    std::int32_t exitStatus = 0;
    // The tool's standard error, byte for byte, when it was captured; otherwise empty.
    QByteArray standardError;

    bool launched() const { return !launchError.has_value(); }
};

// Runs a system tool by absolute path. The tool's standard output is always our own
// standard output, so what it prints lands in order with our log lines.
class ToolRunner {
public:
    enum class StandardError { Inherited, Captured };

    virtual ~ToolRunner() = default;

    // Starts `program` with `arguments`, each reaching the tool as exactly one argument,
    // never through a shell, and blocks until the tool exits. A captured standard error is
    // drained while the tool runs, so a chatty tool cannot stall on a full pipe.
    virtual ToolOutcome run(const QString& program, const QStringList& arguments,
                            StandardError standardError) = 0;
};

} // namespace corvane
