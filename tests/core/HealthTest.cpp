#include "core/Health.h"
#include "Replay.h"
#include "core/Processes.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

class HealthCase : public testing::TestWithParam<Row> {};

// A working T2 running tiny-dfr, its /sys or its systemctl changed as the row says, and the
// health read from it.
struct Machine {
    static std::optional<QString> play(const Row& row) {
        FakeServices fakes;
        FakeSystem& m = fakes.system;
        m.start({"tiny-dfr"});
        m.makeT2(true);
        const QByteArray& change = row.fields.at(1);
        const QString vendor = m.root + "/sys/bus/usb/devices/1-1/idVendor";
        if (change == "t2") {
            m.makeT2(row.fields.at(2) != "without drivers", row.fields.at(2) != "without hardware");
        } else if (change == "adp") {
            QDir(m.root + "/sys").removeRecursively();
            QDir().mkpath(m.root + "/sys/class/drm/card0/device");
            QFile::link("../../../bus/platform/drivers/adp",
                        m.root + "/sys/class/drm/card0/device/driver");
        } else if (change == "vendor") {
            writeFile(vendor, row.fields.at(2));
        } else if (change == "fifo") {
            QFile::remove(vendor), ::mkfifo(QFile::encodeName(vendor).constData(), 0600);
        } else if (change == "link") {
            QFile::remove(vendor), QFile::link("idProduct", vendor);
        } else if (change == "systemctl" || change == "show") {
            const auto systemctl = outcome(change == "show" ? "0" : row.fields.at(2));
            if (!systemctl)
                return std::nullopt;
            m.answers.emplace("/usr/bin/systemctl *", *systemctl);
            if (change == "show")
                m.answers.begin()->second.standardOutput = row.fields.at(2);
        } else if (change != "-") {
            return std::nullopt;
        }
        const Services services = fakes.services();
        const ToolSession tools(services);
        const ProcessListing listing = {
            {"tiny-dfr", Processes(tools, touchBarDaemon()).find("tiny-dfr")}};
        const Health health = classifyHealth(
            touchBarDaemon(), observeHealth(touchBarDaemon(), tools, services.root,
                                            row.fields.value(3, "MacBookPro16,2"), listing));
        return QString::fromUtf8(row.fields.at(0)) + " => " + healthKey(health.state) + ": " +
               describeHealth(health).replace(QRegularExpression("/tmp/[^/]*"), "ROOT") + '\n';
    }
};

} // namespace

// Each state (cases/health.txt) from a made-up /sys and a recorded `systemctl show`; every
// garbled source reads as unknown with its reason, never as a guess.
TEST_P(HealthCase, ReadsEachStateAndCallsGarbageUnknown) {
    expectTranscript<Machine>(GetParam(), "");
}

INSTANTIATE_TEST_SUITE_P(Transcript, HealthCase, testing::ValuesIn(rows({"health"})),
                         testing::PrintToStringParamName());

namespace {

class ClassificationCase : public testing::TestWithParam<Row> {};

// An observation written as a row of cases/classification.txt, and the health decided from it.
struct Observer {
    static std::optional<QString> play(const Row& row) {
        const auto field = [&](int index) {
            return QString::fromUtf8(row.fields.value(index));
        };
        const auto words = [&](int index) {
            return field(index) == "-" || field(index) == "none"
                       ? QStringList()
                       : field(index).split(' ', Qt::SkipEmptyParts);
        };
        const QMap<QString, const Backend*> backends = {{"macos", &appleServices()},
                                                        {"stand-in", &appleServicesWhereRunning()},
                                                        {"tiny-dfr", &touchBarDaemon()}};
        if (row.fields.size() < 9 || row.fields.size() > 11 || !backends.contains(field(1)))
            return std::nullopt;
        const Backend& backend = *backends.value(field(1));
        Observation seen;
        seen.model = field(2);
        for (const QString& name : backend.processes)
            seen.processes.insert(name, field(3) == "?" ? std::nullopt
                                                        : std::optional(RunningProcesses()));
        for (const QString& process : field(3).split(", ", Qt::SkipEmptyParts)) {
            const QStringList parts = process.split(' ');
            if (parts.size() == 3 && seen.processes.value(parts[0]))
                seen.processes[parts[0]]->append({parts[1].toLongLong(), parts[2].toUInt()});
        }
        if (field(4) != "-") {
            seen.devices = Devices();
            seen.devices->problem = field(4).startsWith('!') ? field(4).mid(1) : QString();
            for (const QString& id : seen.devices->problem.isEmpty() ? words(4) : QStringList())
                seen.devices->usb << UsbDevice{"1-1/", id.section(':', 0, 0).toUtf8(),
                                               id.section(':', 1).section('@', 0, 0).toUtf8(),
                                               id.section('@', 1).toUtf8()};
            seen.devices->displayDrivers = words(5);
            seen.devices->backlights = words(6);
        }
        const QStringList unit = words(7);
        if (field(7) != "-")
            seen.unit = UnitProperties{{}, {}, field(7).startsWith('!') ? field(7).mid(1) : ""};
        for (qsizetype at = 0; at < unit.size() && seen.unit->problem.isEmpty(); ++at)
            seen.unit->values.insert(
                QStringList{"LoadState", "ActiveState", "SubState", "Result", "MainPID"}.value(at),
                unit[at]);
        if (field(8) != "-")
            seen.touchBarDisplaySeen = field(8) == "seen";
        for (const QString& bound : words(9))
            seen.unit->boundStates.insert(bound.section('=', 0, 0), bound.section('=', 1));
        // The journal: "-" not read, "none", "!why", "unpermitted", or lines "tiny-dfr: …" and
        // "kernel: …" split by " / ", each logged as journalctl prints it.
        if (seen.unit && field(10) != "-")
            seen.journal = JournalLines{{},
                                        {},
                                        field(10) != "unpermitted",
                                        field(10).startsWith('!') ? field(10).mid(1) : ""};
        for (const QString& line : field(10).split(" / ", Qt::SkipEmptyParts)) {
            const bool kernel = line.startsWith("kernel: ");
            if (seen.journal && (kernel || line.startsWith("tiny-dfr: ")))
                (kernel ? seen.journal->kernel : seen.journal->daemon)
                    << "2026-12-07T09:00:00+0000 host " + line.section(": ", 0, 0) +
                           (kernel ? ": " : "[812]: ") + line.section(": ", 1);
        }
        const Health health = classifyHealth(backend, seen);
        QStringList running;
        for (const ServiceStatus& service : health.services)
            running << service.name + (service.running ? "+" : "-");
        return field(0) + " => " + healthKey(health.state) + ": " + describeHealth(health) + " [" +
               running.join(' ') + "]" + (health.hint.isEmpty() ? "" : " " + health.hint) + "\n";
    }
};

} // namespace

// Each state, and each conflict between two, from an observation alone.
TEST_P(ClassificationCase, DecidesFromTheObservationAlone) {
    expectTranscript<Observer>(GetParam(), "");
}

INSTANTIATE_TEST_SUITE_P(Transcript, ClassificationCase,
                         testing::ValuesIn(rows({"classification"})),
                         testing::PrintToStringParamName());

TEST(Health, TheDaemonIsTheBackendWhereItsUnitIsInstalled) {
    FakeServices fakes;
    EXPECT_EQ(&systemBackend(fakes.root.path()), &appleServicesWhereRunning());
    writeFile(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}

// The journal as journalctl answers: bytes that would steer a terminal or are not UTF-8 reach
// the reason escaped; a user shown only their own lines, a failure and "no entries" each read
// as what they are.
TEST(Health, ReadsTheJournalAsItAnswers) {
    FakeServices fakes;
    FakeSystem& m = fakes.system;
    m.start({"tiny-dfr"});
    m.makeT2(true);
    m.daemonLines =
        "T host tiny-dfr[1]: thread 'main' panicked at 'é 🙂 \x1b]0;owned\x07\xc2\x9b"
        "\xff\xc3', x.rs:1:1\n";
    const Services services = fakes.services();
    const ToolSession tools(services);
    const auto read = [&](const char* error, const QByteArray& output, int status = 0) {
        if (error) {
            m.answers["/usr/bin/journalctl *"] = exited(status, error);
            m.answers["/usr/bin/journalctl *"].standardOutput = output;
        }
        return classifyHealth(
            touchBarDaemon(),
            observeHealth(touchBarDaemon(), tools, services.root, "MacBookPro16,2",
                          {{"tiny-dfr", Processes(tools, touchBarDaemon()).find("tiny-dfr")}}));
    };
    EXPECT_EQ(read(nullptr, {}).panic,
              "'é 🙂 \\x1b]0;owned\\x07\\xc2\\x9b\\xff\\xc3', x.rs:1:1");
    const Health unread = read("Hint: You are currently not seeing messages from other users and "
                               "the system.\n",
                               "-- No entries --\n");
    EXPECT_EQ(unread.state, HealthState::JournalUnread);
    EXPECT_TRUE(unread.hint.contains("systemd-journal"));
    EXPECT_EQ(describeHealth(read("Failed to open journal: Bad message\n", {}, 1)),
              "Corvane could not tell whether the Touch Bar works: journalctl failed with "
              "status 1: Failed to open journal: Bad message.");
    EXPECT_EQ(read("", "-- No entries --\n", 1).state, HealthState::Working);
}
