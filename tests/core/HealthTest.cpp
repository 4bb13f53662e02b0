#include "core/Health.h"
#include "Fakes.h"

#include <QDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

void put(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

// Each state from a made-up /sys and a recorded `systemctl show`, and every garbled source read
// as unknown with its reason, never as a guess.
TEST(Health, ReadsEachStateAndCallsGarbageUnknown) {
    const QString vendor = "/sys/bus/usb/devices/1-1/idVendor";
    const ToolOutcome show = [] {
        ToolOutcome outcome = exited(0);
        outcome.standardOutput = "LoadState=loaded\nActiveState=inactive\nSubState=dead\n";
        return outcome;
    }();
    // What the row does to a healthy T2 running tiny-dfr; the state and reason it reads.
    const std::tuple<const char*, std::function<void(FakeSystem&)>, QString, QString> rows[] = {
        {"healthy", [](FakeSystem&) {}, "working", "tiny-dfr.service runs"},
        {"stopped", [](FakeSystem& m) { m.processes.clear(); }, "daemon-stopped",
         "tiny-dfr.service is active (running) and no tiny-dfr runs"},
        {"start limit",
         [](FakeSystem& m) {
             m.unitState = "failed";
             m.unitResult = "start-limit-hit";
         },
         "daemon-failed", "(start-limit-hit: it was restarted too often"},
        {"driver gone", [](FakeSystem& m) { m.makeT2(false); }, "display-driver-gone",
         "no display card is driven by appletbdrm"},
        {"backlight gone",
         [](FakeSystem& m) { QDir(m.root + "/sys/class/backlight").removeRecursively(); },
         "display-driver-gone", "backlight (appletb_backlight) is gone"},
        {"hardware missing", [](FakeSystem& m) { m.makeT2(true, false); }, "hardware-missing",
         "display (USB 05ac:8302) is not on the bus"},
        {"garbled id", [&](FakeSystem& m) { put(m.root + vendor, "zz\n"); }, "unknown",
         "/sys/bus/usb/devices/1-1/ holds no USB id"},
        {"endless id", [&](FakeSystem& m) { put(m.root + vendor, QByteArray(300, 'a')); },
         "unknown", "idVendor: longer than any value it may hold"},
        {"a FIFO for an id",
         [&](FakeSystem& m) {
             QFile::remove(m.root + vendor);
             ::mkfifo(QFile::encodeName(m.root + vendor).constData(), 0600);
         },
         "unknown", "idVendor: not a plain file"},
        {"no systemctl",
         [](FakeSystem& m) { m.answers.emplace("/usr/bin/systemctl *", notLaunched()); }, "unknown",
         "/usr/bin/systemctl could not be run: No such file or directory"},
        {"systemctl hangs", [](FakeSystem& m) { m.answers.emplace("/usr/bin/systemctl *", hung); },
         "unknown", "/usr/bin/systemctl did not answer in time"},
        {"systemctl fails",
         [](FakeSystem& m) { m.answers.emplace("/usr/bin/systemctl *", exited(1)); }, "unknown",
         "systemctl show tiny-dfr.service failed with status 1"},
        {"systemctl babbles",
         [&](FakeSystem& m) {
             ToolOutcome odd = show;
             odd.standardOutput = "ActiveState=active; rm -rf /\nResult\n" + QByteArray(9000, '=');
             m.answers.emplace("/usr/bin/systemctl *", odd);
         },
         "unknown", "systemctl show tiny-dfr.service gave no readable LoadState"},
        {"unit stopped, no Result",
         [&](FakeSystem& m) { m.answers.emplace("/usr/bin/systemctl *", show); }, "unknown",
         "gave no readable Result"},
    };
    for (const auto& [title, change, key, reason] : rows) {
        FakeServices fakes;
        fakes.system.start({"tiny-dfr"});
        fakes.system.makeT2(true);
        change(fakes.system);
        const Services services = fakes.services();
        const ProcessControl processes(services);
        const Health health =
            readHealth(touchBarDaemon(), processes, services.root, "MacBookPro16,2",
                       {{"tiny-dfr", processes.findProcesses("tiny-dfr")}});
        EXPECT_EQ(healthKey(health.state), key) << title;
        EXPECT_TRUE(health.reason.contains(reason)) << title << ": " << health.reason.toStdString();
    }
}

// Without a T2's devices, the unit and the process decide; Apple silicon's display driver is adp.
// macOS's services: the main one decides, and a probe that could not be made is unknown.
TEST(Health, OtherMachinesAndBackends) {
    FakeServices fakes;
    const Services services = fakes.services();
    const ProcessControl processes(services);
    const auto read = [&](const Backend& backend, const QString& model,
                          const ProcessListing& listing) {
        const Health health = readHealth(backend, processes, services.root, model, listing);
        return healthKey(health.state) + ": " + describeHealth(health);
    };
    const ProcessListing daemon = {{"tiny-dfr", RunningProcesses{{7, 0}}}};
    EXPECT_EQ(read(touchBarDaemon(), "Unknown", daemon),
              "working: The Touch Bar works: tiny-dfr.service runs.");
    EXPECT_EQ(read(touchBarDaemon(), "Mac14,7", daemon),
              "display-driver-gone: The Touch Bar's display driver is gone: no display card is "
              "driven by adp.");
    QDir().mkpath(fakes.root.filePath("sys/class/drm/card0/device"));
    QFile::link("../../../bus/platform/drivers/adp",
                fakes.root.filePath("sys/class/drm/card0/device/driver"));
    EXPECT_EQ(read(touchBarDaemon(), "Mac14,7", daemon).left(8), "working:");
    EXPECT_EQ(read(appleServices(), "MacBookPro16,1", {{"TouchBarServer", RunningProcesses()}}),
              "daemon-stopped: The Touch Bar's service is not running: TouchBarServer is not "
              "running.");
    EXPECT_EQ(read(appleServices(), "MacBookPro16,1", {}),
              "unknown: Corvane could not tell whether the Touch Bar works: nobody could look for "
              "TouchBarServer.");

    // tiny-dfr is the backend wherever it is installed.
    EXPECT_EQ(&systemBackend(fakes.root.path()), &appleServices());
    put(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}
