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

#include <functional>
#include <mutex>
#include <vector>

namespace corvane::fakes {

ToolOutcome exited(std::int32_t status, QByteArray standardError = {});
ToolOutcome notLaunched(const QString& description = QStringLiteral("No such file or directory"));

// Answers each tool run from a script and records every call. Thread-safe.
class ScriptedToolRunner final : public ToolRunner {
public:
    struct Call {
        QString program;
        QStringList arguments;
        StandardError standardError;
    };
    using Script = std::function<ToolOutcome(const Call&)>;

    explicit ScriptedToolRunner(Script script = {});
    void setScript(Script script);
    ToolOutcome run(const QString& program, const QStringList& arguments,
                    StandardError standardError) override;
    std::vector<Call> calls() const;
    // Each call as "program arg arg", for comparing whole sequences at a glance.
    QStringList commandLines() const;

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
    void writeLine(const QString& line) override;
    QStringList lines() const;
    void clear();

private:
    mutable std::mutex mutex;
    QStringList recorded;
};

// sysctl-shaped answers: the size call's result and size, then the read's result and bytes.
class FakeModelQuery final : public ModelQuery {
public:
    static FakeModelQuery answering(const QByteArray& model);

    int sizeResult = 0;
    std::size_t reportedSize = 0;
    int readResult = 0;
    QByteArray bytes;

    int query(const char* name, char* buffer, std::size_t& size) override;
};

class MemoryDefaultsStore final : public DefaultsStore {
public:
    QVariantMap values;

    qint64 integer(const QString& key) const override;
    QVariant object(const QString& key) const override;
    void setInteger(const QString& key, qint64 value) override;
    void setDate(const QString& key, const QDateTime& value) override;
};

// Runs everything at once on the calling thread and counts the main-thread hops.
class InlineExecutor final : public Executor {
public:
    int mainHops = 0;

    void runInBackground(std::function<void()> work) override { work(); }
    void runOnMain(std::function<void()> work) override;
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

    void sleep(std::chrono::nanoseconds duration) override;
};

class FakeRunningApplications final : public RunningApplications {
public:
    std::vector<RunningApplication> applications;
    std::int32_t ownProcess = 4242;

    std::vector<RunningApplication> runningApplications() const override { return applications; }
    std::int32_t currentProcessIdentifier() const override { return ownProcess; }
};

// Records every alert and answers each with `answer`.
class RecordingAlerts final : public Alerts {
public:
    std::vector<Alert> shown;
    int answer = 0;

    int runModal(const Alert& alert) override;
};

class RecordingUrlOpener final : public UrlOpener {
public:
    QList<QUrl> opened;
    bool succeeds = true;

    bool open(const QUrl& url) override;
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

    PlatformServices services()
    {
        return {tools, modelQuery, defaults, executor, clock, sleeper, log};
    }
};

} // namespace corvane::fakes
