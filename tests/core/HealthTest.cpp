#include "core/Health.h"
#include "Replay.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

class HealthCase : public testing::TestWithParam<Row> {};

// A working T2 running tiny-dfr, changed as the row says, and the health read from it.
struct Machine {
    static std::optional<QString> play(const Row& row) {
        FakeServices fakes;
        FakeSystem& m = fakes.system;
        m.start({"tiny-dfr"});
        m.makeT2(true);
        const QByteArray& change = row.fields.at(1);
        const bool mac = change.startsWith("macOS");
        const QString vendor = m.root + "/sys/bus/usb/devices/1-1/idVendor";
        if (change == "stop") {
            m.processes.clear();
        } else if (change == "unit") {
            m.unitState = "failed", m.unitResult = QString::fromUtf8(row.fields.at(2));
        } else if (change == "t2") {
            m.makeT2(row.fields.at(2) != "without drivers", row.fields.at(2) != "without hardware");
        } else if (change == "no T2" || change == "adp") {
            QDir(m.root + "/sys").removeRecursively();
            if (change == "adp")
                QDir().mkpath(m.root + "/sys/class/drm/card0/device"),
                    QFile::link("../../../bus/platform/drivers/adp",
                                m.root + "/sys/class/drm/card0/device/driver");
        } else if (change == "backlight") {
            QDir(m.root + "/sys/class/backlight").removeRecursively();
        } else if (change == "vendor") {
            writeFile(vendor, row.fields.at(2));
        } else if (change == "fifo") {
            QFile::remove(vendor), ::mkfifo(QFile::encodeName(vendor).constData(), 0600);
        } else if (change == "systemctl" || change == "show") {
            const auto systemctl = outcome(change == "show" ? "0" : row.fields.at(2));
            if (!systemctl)
                return std::nullopt;
            m.answers.emplace("/usr/bin/systemctl *", *systemctl);
            if (change == "show")
                m.answers.begin()->second.standardOutput = row.fields.at(2);
        } else if (change != "-" && change != "macOS" && change != "macOS, not looked for") {
            return std::nullopt;
        }
        const Services services = fakes.services();
        const ProcessControl processes(services);
        const QString name = mac ? "TouchBarServer" : "tiny-dfr";
        ProcessListing listing;
        if (change != "macOS, not looked for")
            listing = {{name, processes.findProcesses(name)}};
        const Health health =
            readHealth(mac ? appleServices() : touchBarDaemon(), processes, services.root,
                       row.fields.value(3, "MacBookPro16,2"), listing);
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

TEST(Health, TheDaemonIsTheBackendWhereItsUnitIsInstalled) {
    FakeServices fakes;
    EXPECT_EQ(&systemBackend(fakes.root.path()), &appleServices());
    writeFile(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}
