#pragma once

#include "Alerts.h"
#include "Clock.h"
#include "DefaultsStore.h"
#include "Executor.h"
#include "LogSink.h"
#include "ModelQuery.h"
#include "PlatformServices.h"
#include "RunningApplications.h"
#include "ToolRunner.h"
#include "UrlOpener.h"

#include <QVariantMap>

#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace corvane::fakes {

inline ToolOutcome exited(std::int32_t status, QByteArray standardError = {}) {
    return {std::nullopt, status, std::move(standardError)};
}

inline ToolOutcome notLaunched(const QString& description = "No such file or directory") {
    const QString fullText = "Error Domain=NSPOSIXErrorDomain Code=2 \"" + description + '"';
    return {LaunchError{description, fullText}, 0, {}};
}

// Answers each tool run from a script and records every call. Thread-safe.
class ScriptedToolRunner final : public ToolRunner {
public:
    struct Call {
        QString program;
        QStringList arguments;
        StandardError standardError;
    };
    using Script = std::function<ToolOutcome(const Call&)>;

    explicit ScriptedToolRunner(Script script = {})
        : script(std::move(script)) {}
    void setScript(Script newScript) {
        std::lock_guard lock(mutex);
        script = std::move(newScript);
    }
    ToolOutcome run(const QString& program, const QStringList& arguments,
                    StandardError standardError) override {
        const Call call{program, arguments, standardError};
        std::unique_lock lock(mutex);
        recorded.push_back(call);
        const Script current = script;
        lock.unlock();
        return current ? current(call) : exited(1);
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex);
        return recorded;
    }
    // Each call as "program arg arg", for comparing whole sequences at a glance.
    QStringList commandLines() const {
        QStringList lines;
        for (const Call& call : calls())
            lines << (QStringList{call.program} + call.arguments).join(' ');
        return lines;
    }

private:
    mutable std::mutex mutex;
    Script script;
    std::vector<Call> recorded;
};

// A machine in miniature: the processes that run, which of them the system relaunches
// after a termination, which defaults domains exist, and which tools are missing.
class FakeSystem {
public:
    QStringList running;
    QStringList relaunched;
    QStringList domains;
    QStringList missingTools;
    // pkill exits with this status for these names instead of terminating them.
    std::map<QString, ToolOutcome> killFailures;

    ScriptedToolRunner::Script script();
};

class RecordingLog final : public LogSink {
public:
    void writeLine(const QString& line) override {
        std::lock_guard lock(mutex);
        recorded << line;
    }
    QStringList lines() const {
        std::lock_guard lock(mutex);
        return recorded;
    }
    void clear() {
        std::lock_guard lock(mutex);
        recorded.clear();
    }

private:
    mutable std::mutex mutex;
    QStringList recorded;
};

// sysctl-shaped answers: the size call's result and size, then the read's result and bytes.
class FakeModelQuery final : public ModelQuery {
public:
    static FakeModelQuery answering(const QByteArray& model) {
        FakeModelQuery query;
        query.bytes = model + '\0';
        query.reportedSize = static_cast<std::size_t>(query.bytes.size());
        return query;
    }

    int sizeResult = 0;
    std::size_t reportedSize = 0;
    int readResult = 0;
    QByteArray bytes;

    int query(const char* name, char* buffer, std::size_t& size) override {
        if (std::strcmp(name, "hw.model") != 0)
            return ENOENT;
        if (buffer == nullptr) {
            size = reportedSize;
            return sizeResult;
        }
        if (readResult != 0)
            return readResult;
        size = std::min(size, static_cast<std::size_t>(bytes.size()));
        std::memcpy(buffer, bytes.constData(), size);
        return 0;
    }
};

class MemoryDefaultsStore final : public DefaultsStore {
public:
    QVariantMap values;

    qint64 integer(const QString& key) const override { return values.value(key).toLongLong(); }
    QVariant object(const QString& key) const override { return values.value(key); }
    void setInteger(const QString& key, qint64 value) override { values.insert(key, value); }
    void setDate(const QString& key, const QDateTime& value) override { values.insert(key, value); }
};

// Runs everything at once on the calling thread and counts the main-thread hops.
class InlineExecutor final : public Executor {
public:
    int mainHops = 0;

    void runInBackground(std::function<void()> work) override { work(); }
    void runOnMain(std::function<void()> work) override {
        ++mainHops;
        work();
    }
    void postToMain(std::function<void()> work) override { work(); }
};

class FixedClock final : public Clock {
public:
    QDateTime time = QDateTime(QDate(2025, 3, 1), QTime(14, 5, 9), Qt::UTC);

    QDateTime now() const override { return time; }
};

class InstantSleeper final : public Sleeper {
public:
    std::vector<std::chrono::nanoseconds> sleeps;
    std::function<void()> duringSleep;

    void sleep(std::chrono::nanoseconds duration) override {
        sleeps.push_back(duration);
        if (duringSleep)
            duringSleep();
    }
};

class FakeRunningApplications final : public RunningApplications {
public:
    std::vector<RunningApplication> applications;

    std::vector<RunningApplication> runningApplications() const override { return applications; }
    std::int32_t currentProcessIdentifier() const override { return 4242; }
};

// Records every alert and answers each with its first button.
class RecordingAlerts final : public Alerts {
public:
    std::vector<Alert> shown;

    int runModal(const Alert& alert) override {
        shown.push_back(alert);
        return 0;
    }
};

class RecordingUrlOpener final : public UrlOpener {
public:
    QList<QUrl> opened;
    bool succeeds = true;

    bool open(const QUrl& url) override {
        opened << url;
        return succeeds;
    }
};

// Fakes for every service, wired together.
struct FakePlatform {
    ScriptedToolRunner tools;
    FakeModelQuery modelQuery = FakeModelQuery::answering("MacBookPro16,1");
    MemoryDefaultsStore defaults;
    InlineExecutor executor;
    FixedClock clock;
    InstantSleeper sleeper;
    RecordingLog log;

    PlatformServices services() {
        return {tools, modelQuery, defaults, executor, clock, sleeper, log};
    }
};

} // namespace corvane::fakes
