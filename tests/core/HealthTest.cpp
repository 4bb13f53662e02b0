#include "core/Health.h"
#include "Fakes.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::fakes;

// Each state (cases/health.txt) from a made-up /sys and a recorded `systemctl show`; every
// garbled source reads as unknown with its reason, never as a guess.
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
        const bool mac = change.startsWith("macOS");
        const QString vendor = m.root + "/sys/bus/usb/devices/1-1/idVendor";
        if (change == "stop")
            m.processes.clear();
        if (change == "unit")
            m.unitState = "failed", m.unitResult = QString::fromUtf8(row.at(2));
        if (change == "t2")
            m.makeT2(row.at(2) != "without drivers", row.at(2) != "without hardware");
        if (change == "no T2" || change == "adp")
            QDir(m.root + "/sys").removeRecursively();
        if (change == "adp")
            QDir().mkpath(m.root + "/sys/class/drm/card0/device"),
                QFile::link("../../../bus/platform/drivers/adp",
                            m.root + "/sys/class/drm/card0/device/driver");
        if (change == "backlight")
            QDir(m.root + "/sys/class/backlight").removeRecursively();
        if (change == "vendor")
            writeFile(vendor, row.at(2));
        if (change == "fifo")
            QFile::remove(vendor), ::mkfifo(QFile::encodeName(vendor).constData(), 0600);
        if (change == "systemctl" || change == "show")
            m.answers.emplace("/usr/bin/systemctl *", outcome(change == "show" ? "0" : row.at(2)));
        if (change == "show")
            m.answers.begin()->second.standardOutput = row.at(2);
        const Services services = fakes.services();
        const ProcessControl processes(services);
        const QString name = mac ? "TouchBarServer" : "tiny-dfr";
        ProcessListing listing;
        if (change != "macOS, not looked for")
            listing = {{name, processes.findProcesses(name)}};
        note(row.at(0).constData(),
             readHealth(mac ? appleServices() : touchBarDaemon(), processes, services.root,
                        row.value(3, "MacBookPro16,2"), listing));
    }
    EXPECT_EQ(read.join('\n') + '\n', transcript("health"));

    FakeServices fakes;
    EXPECT_EQ(&systemBackend(fakes.root.path()), &appleServices());
    writeFile(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}
