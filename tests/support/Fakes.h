#pragma once

#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimeZone>

#include <cstring>
#include <functional>
#include <map>

namespace corvane::fakes {

inline ToolOutcome exited(std::int32_t status, QByteArray standardError = {}) {
    ToolOutcome outcome;
    outcome.exitStatus = status;
    outcome.standardError = std::move(standardError);
    return outcome;
}

// A machine in miniature answering the system tools as the real ones would: its processes (some
// unreaped), what the system relaunches, preference domains, tiny-dfr's unit, a T2 under `root`,
// a granted prompt running the helper's verbs, and fixed answers for some runs.
class FakeSystem final : public ToolRunner {
public:
    struct Process {
        QString name;
        qint64 id;
        uid_t owner = 501;
        bool zombie = false;
    };

    QList<Process> processes;
    QStringList relaunched;
    QStringList domains;
    // tiny-dfr.service's ActiveState and Result.
    QString unitState = "active";
    QString unitResult = "success";
    // What journalctl prints for the daemon's invocation (-n … _SYSTEMD_INVOCATION_ID=…) and for
    // the kernel (-k).
    QByteArray daemonLines, kernelLines;
    // Where the made-up /sys lies; empty for none.
    QString root;
    // By "program last-argument", or "program *" for every run of it.
    std::map<QString, ToolOutcome> answers;
    // Where each run is shown as "$ program arguments", in order with what it prints.
    Log* transcript = nullptr;

    // Starts one process of each name, owned by uid 501, or by root for the daemon, as systemd
    // starts it.
    void start(const QStringList& names) {
        for (const QString& name : names)
            processes << Process{name, nextId++, name == "tiny-dfr" ? 0u : 501u};
    }
    // Lays out a T2's Touch Bar under `root`: USB devices, and with `drivers` card and backlight.
    void makeT2(bool drivers, bool hardware = true);
    ToolOutcome run(const QString& program, const QStringList& arguments,
                    std::chrono::milliseconds timeLimit) override;
    // Shown as "$ <process table> name"; an answer for that run that failed to launch makes the
    // table unreadable.
    std::optional<RunningProcesses> processesNamed(const QString& name) override;

private:
    // Ends `name`'s processes of `owner` (any, when none), relaunched when the system would.
    bool terminate(const QString& name, std::optional<uid_t> owner = {});
    ToolOutcome runHelper(const QString& verb);
    qint64 nextId = 100;
};

// The model the machine names, or none.
struct FakeModelQuery final : ModelQuery {
    std::optional<QString> answer;

    explicit FakeModelQuery(std::optional<QString> model = QStringLiteral("MacBookPro16,1"))
        : answer(std::move(model)) {}
    std::optional<QString> model(Log&) override { return answer; }
};

// 2025-03-01 14:05:09, moving only while a wait (which takes no time) lets the world change.
struct FixedClock final : Clock {
    QDateTime time = QDateTime::fromString("2025-03-01T14:05:09Z", Qt::ISODate);
    std::function<void()> duringSleep;

    QDateTime now() const override { return time; }
    std::chrono::milliseconds sinceBoot() const override {
        return std::chrono::milliseconds(time.toMSecsSinceEpoch());
    }
    void sleep(std::chrono::nanoseconds duration) override {
        time =
            time.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
        if (duringSleep)
            duringSleep();
    }
};

// A log written into a file of its own, read back whole.
struct CapturedLog {
    QTemporaryFile file;
    Log log{(file.open(), file.handle())};

    QString text() {
        log.flush(std::chrono::seconds(5));
        QFile written(file.fileName());
        return written.open(QIODevice::ReadOnly) ? QString::fromUtf8(written.readAll()) : "?";
    }
};

// Fakes for every service, wired together, as uid 501, asking an administrator through `prompt`.
struct FakeServices {
    FakeSystem system;
    FakeModelQuery modelQuery;
    FixedClock clock;
    CapturedLog output;
    CapturedLog errors;
    administrator::Prompt prompt = administrator::Prompt::Pkexec;
    QTemporaryDir root;

    FakeServices() { system.root = root.path(); }
    Services services(uid_t user = 501) {
        return {system, modelQuery, clock, output.log, errors.log, user, prompt, root.path()};
    }
};

// Writes `contents` to `path`, making its folders.
inline void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(contents);
}

} // namespace corvane::fakes
