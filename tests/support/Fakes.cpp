#include "Fakes.h"

#include <cerrno>
#include <cstring>

namespace corvane::fakes {

ToolOutcome exited(std::int32_t status, QByteArray standardError)
{
    return {std::nullopt, status, std::move(standardError)};
}

ToolOutcome notLaunched(const QString& description)
{
    return {LaunchError{description, QStringLiteral("Error Domain=NSPOSIXErrorDomain Code=2 \"") +
                                         description + QStringLiteral("\"")},
            0,
            {}};
}

ScriptedToolRunner::ScriptedToolRunner(Script script)
    : script(std::move(script))
{
}

void ScriptedToolRunner::setScript(Script newScript)
{
    std::lock_guard lock(mutex);
    script = std::move(newScript);
}

ToolOutcome ScriptedToolRunner::run(const QString& program, const QStringList& arguments,
                                    StandardError standardError)
{
    Script current;
    Call call{program, arguments, standardError};
    {
        std::lock_guard lock(mutex);
        recorded.push_back(call);
        current = script;
    }
    return current ? current(call) : exited(1);
}

std::vector<ScriptedToolRunner::Call> ScriptedToolRunner::calls() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

QStringList ScriptedToolRunner::commandLines() const
{
    QStringList lines;
    for (const Call& call : calls())
        lines << (QStringList{call.program} + call.arguments).join(QLatin1Char(' '));
    return lines;
}

ScriptedToolRunner::Script FakeSystem::script()
{
    return [this](const ScriptedToolRunner::Call& call) -> ToolOutcome {
        if (missingTools.contains(call.program))
            return notLaunched();
        const QString subject = call.arguments.value(call.arguments.size() - 1);
        if (call.program == QLatin1String("/usr/bin/pgrep"))
            return exited(running.contains(subject) ? 0 : 1);
        if (call.program == QLatin1String("/usr/bin/pkill")) {
            if (auto failure = killFailures.find(subject); failure != killFailures.end())
                return failure->second;
            if (!running.contains(subject))
                return exited(1);
            running.removeAll(subject);
            if (relaunched.contains(subject))
                running << subject;
            return exited(0);
        }
        if (call.program == QLatin1String("/usr/bin/defaults"))
            return exited(domains.removeAll(subject) > 0 ? 0 : 1);
        if (call.program == QLatin1String("/usr/bin/killall"))
            return exited(running.removeAll(subject) > 0 ? 0 : 1);
        return notLaunched();
    };
}

void RecordingLog::writeLine(const QString& line)
{
    std::lock_guard lock(mutex);
    recorded << line;
}

QStringList RecordingLog::lines() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

void RecordingLog::clear()
{
    std::lock_guard lock(mutex);
    recorded.clear();
}

FakeModelQuery FakeModelQuery::answering(const QByteArray& model)
{
    FakeModelQuery query;
    query.bytes = model + '\0';
    query.reportedSize = static_cast<std::size_t>(query.bytes.size());
    return query;
}

int FakeModelQuery::query(const char* name, char* buffer, std::size_t& size)
{
    if (std::strcmp(name, "hw.model") != 0)
        return ENOENT;
    if (buffer == nullptr) {
        size = reportedSize;
        return sizeResult;
    }
    if (readResult != 0)
        return readResult;
    const std::size_t copied = std::min(size, static_cast<std::size_t>(bytes.size()));
    std::memcpy(buffer, bytes.constData(), copied);
    size = copied;
    return 0;
}

qint64 MemoryDefaultsStore::integer(const QString& key) const
{
    bool isNumber = false;
    const qint64 value = values.value(key).toLongLong(&isNumber);
    return isNumber ? value : 0;
}

QVariant MemoryDefaultsStore::object(const QString& key) const
{
    return values.value(key);
}

void MemoryDefaultsStore::setInteger(const QString& key, qint64 value)
{
    values.insert(key, value);
}

void MemoryDefaultsStore::setDate(const QString& key, const QDateTime& value)
{
    values.insert(key, value);
}

void InlineExecutor::runOnMain(std::function<void()> work)
{
    ++mainHops;
    work();
}

void InstantSleeper::sleep(std::chrono::nanoseconds duration)
{
    sleeps.push_back(duration);
    if (duringSleep)
        duringSleep();
}

int RecordingAlerts::runModal(const Alert& alert)
{
    shown.push_back(alert);
    return answer;
}

bool RecordingUrlOpener::open(const QUrl& url)
{
    opened << url;
    return succeeds;
}

} // namespace corvane::fakes
