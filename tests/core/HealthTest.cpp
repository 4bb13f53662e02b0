#include "core/Health.h"
#include "Fakes.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::fakes;

// Each state from a made-up T2's /sys and a recorded `systemctl show` (cases/health.txt), every
// garbled source read as unknown with its reason, never as a guess; without a T2's devices the unit
// and the process decide, Apple silicon's display driver is adp, and on a Mac the main service
// decides.
TEST(Health, ReadsEachStateAndCallsGarbageUnknown) {
    QStringList read;
    const auto note = [&](const char* title, const Health& health) {
        read << QString(title) + " => " + healthKey(health.state) + ": " +
                    describeHealth(health).replace(QRegularExpression("/tmp/[^/]*"), "ROOT");
    };
    for (const auto& row : cases("health")) {
        FakeServices fakes;
        FakeSystem& m = fakes.system;
        m.start({"tiny-dfr"});
        m.makeT2(true);
        const QByteArray& change = row.at(1);
        const QString vendor = m.root + "/sys/bus/usb/devices/1-1/idVendor";
        if (change == "stop")
            m.processes.clear();
        if (change == "unit")
            m.unitState = "failed", m.unitResult = QString::fromUtf8(row.at(2));
        if (change == "t2")
            m.makeT2(row.at(2) != "without drivers", row.at(2) != "without hardware");
        if (change == "backlight")
            QDir(m.root + "/sys/class/backlight").removeRecursively();
        if (change == "vendor")
            writeFile(vendor, row.at(2));
        if (change == "fifo")
            QFile::remove(vendor), ::mkfifo(QFile::encodeName(vendor).constData(), 0600);
        if (change == "systemctl")
            m.answers.emplace("/usr/bin/systemctl *", outcome(row.at(2)));
        if (change == "show")
            m.answers.emplace("/usr/bin/systemctl *", [&] {
                ToolOutcome show = exited(0);
                show.standardOutput = row.at(2);
                return show;
            }());
        const Services services = fakes.services();
        const ProcessControl processes(services);
        note(row.at(0).constData(),
             readHealth(touchBarDaemon(), processes, services.root, "MacBookPro16,2",
                        {{"tiny-dfr", processes.findProcesses("tiny-dfr")}}));
    }
    FakeServices fakes;
    const Services services = fakes.services();
    const ProcessControl processes(services);
    const ProcessListing daemon = {{"tiny-dfr", RunningProcesses{{7, 0}}}};
    for (const char* model : {"Unknown", "Mac14,7"})
        note(model, readHealth(touchBarDaemon(), processes, services.root, model, daemon));
    QDir().mkpath(fakes.root.filePath("sys/class/drm/card0/device"));
    QFile::link("../../../bus/platform/drivers/adp",
                fakes.root.filePath("sys/class/drm/card0/device/driver"));
    note("Mac14,7 with adp",
         readHealth(touchBarDaemon(), processes, services.root, "Mac14,7", daemon));
    note("macOS, stopped", readHealth(appleServices(), processes, services.root, "MacBookPro16,1",
                                      {{"TouchBarServer", RunningProcesses()}}));
    note("macOS, not looked for",
         readHealth(appleServices(), processes, services.root, "MacBookPro16,1", {}));
    EXPECT_EQ(read.join('\n') + '\n', transcript("health"));

    // tiny-dfr is the backend wherever it is installed.
    EXPECT_EQ(&systemBackend(fakes.root.path()), &appleServices());
    writeFile(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}
