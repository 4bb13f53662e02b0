#include "core/Health.h"
#include "Fakes.h"

#include <QDir>
#include <QRegularExpression>

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

// Each state from a made-up T2's /sys and a recorded `systemctl show`, every garbled source
// read as unknown with its reason, never as a guess; without a T2's devices the unit and the
// process decide, Apple silicon's display driver is adp, and on a Mac the main service decides.
TEST(Health, ReadsEachStateAndCallsGarbageUnknown) {
    const QString vendor = "/sys/bus/usb/devices/1-1/idVendor";
    const auto answer = [](const QByteArray& output) {
        return [output](FakeSystem& m) {
            ToolOutcome show = exited(0);
            show.standardOutput = output;
            m.answers.emplace("/usr/bin/systemctl *", show);
        };
    };
    const std::pair<const char*, std::function<void(FakeSystem&)>> rows[] = {
        {"healthy",
         [](FakeSystem&) {
         }},
        {"stopped",
         [](FakeSystem& m) {
             m.processes.clear();
         }},
        {"start limit",
         [](FakeSystem& m) {
             m.unitState = "failed", m.unitResult = "start-limit-hit";
         }},
        {"driver gone",
         [](FakeSystem& m) {
             m.makeT2(false);
         }},
        {"backlight gone",
         [](FakeSystem& m) {
             QDir(m.root + "/sys/class/backlight").removeRecursively();
         }},
        {"hardware missing",
         [](FakeSystem& m) {
             m.makeT2(true, false);
         }},
        {"garbled id",
         [&](FakeSystem& m) {
             put(m.root + vendor, "zz\n");
         }},
        {"endless id",
         [&](FakeSystem& m) {
             put(m.root + vendor, QByteArray(300, 'a'));
         }},
        {"a FIFO for an id",
         [&](FakeSystem& m) {
             QFile::remove(m.root + vendor);
             ::mkfifo(QFile::encodeName(m.root + vendor).constData(), 0600);
         }},
        {"no systemctl",
         [](FakeSystem& m) {
             m.answers.emplace("/usr/bin/systemctl *", notLaunched());
         }},
        {"systemctl hangs",
         [](FakeSystem& m) {
             m.answers.emplace("/usr/bin/systemctl *", hung);
         }},
        {"systemctl fails",
         [](FakeSystem& m) {
             m.answers.emplace("/usr/bin/systemctl *", exited(1));
         }},
        {"systemctl babbles",
         answer("ActiveState=active; rm -rf /\nResult\n" + QByteArray(9000, '='))},
        {"no Result", answer("LoadState=loaded\nActiveState=inactive\nSubState=dead\n")},
        {"not loaded",
         answer("LoadState=not-found\nActiveState=inactive\nSubState=dead\nResult=success\n")},
    };
    QStringList read;
    const auto note = [&](const char* title, const Health& health) {
        read << QString(title) + " => " + healthKey(health.state) + ": " +
                    describeHealth(health).replace(QRegularExpression("/tmp/[^/]*"), "ROOT");
    };
    for (const auto& [title, change] : rows) {
        FakeServices fakes;
        fakes.system.start({"tiny-dfr"});
        fakes.system.makeT2(true);
        change(fakes.system);
        const Services services = fakes.services();
        const ProcessControl processes(services);
        note(title, readHealth(touchBarDaemon(), processes, services.root, "MacBookPro16,2",
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
    put(fakes.root.filePath("lib/systemd/system/tiny-dfr.service"), "");
    EXPECT_EQ(&systemBackend(fakes.root.path()), &touchBarDaemon());
}
