#include "core/Report.h"
#include "Replay.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QStringList planted = {"mbrandt", "kestrel-mbp", "C02XK1ABJHD3", "a4:83:e7:1b:2c:3d",
                             "A4-83-E7-1B-2C-3D"};

ReportInput world(const QByteArray& name) {
    ReportInput input;
    input.version = "1.2.3";
    input.backend = name;
    input.touchBar = true;
    Observation& seen = input.observation;
    seen.model = "MacBookPro16,1";
    if (name == "macos") {
        input.system = "macOS Sonoma (14.2)";
        input.health = {
            HealthState::Working, "TouchBarServer runs", {{"TouchBarServer", true}}, {}, {}};
        input.crashReports = {{"TouchBarServer-2026-12-06-081500.ips",
                               QDateTime(QDate(2026, 12, 6), QTime(8, 15), Qt::UTC)}};
        input.history = {QJsonObject{{"time", "2026-12-06T08:20:00Z"},
                                     {"event", "fix"},
                                     {"steps", QJsonArray{"restart"}},
                                     {"after", "working"}}};
        return input;
    }
    input.system = "Debian GNU/Linux 12 (bookworm) on KESTREL-MBP";
    input.health = {
        HealthState::DaemonCrashed, "tiny-dfr panicked", {{"tiny-dfr", true}}, "at x", {}};
    seen.kernelRelease = "6.1.0-28-amd64";
    seen.modules = {"snd_hda_intel", "appletbdrm", "hid_appletb_kbd", "apple_bce"};
    seen.devices = Devices{{{"/sys/bus/usb/devices/1-1/", "05ac", "8302", "2"},
                            {"/sys/bus/usb/devices/1-2/", "05ac", "8102", ""}},
                           {"i915", "appletbdrm"},
                           {"appletb_backlight"},
                           {}};
    seen.unit = UnitProperties{{{"ActiveState", "active"},
                                {"Description", "Touch Bar of mbrandt\x1b[31m\n## Removed"},
                                {"Environment", "SERIAL=C02XK1ABJHD3 HWADDR=a4:83:e7:1b:2c:3d"}},
                               {{"dev-tiny_dfr_display.device", "active"}},
                               {}};
    seen.journal = JournalLines{
        {"2026-12-07T09:00:00+0000 kestrel-mbp tiny-dfr[812]: reading "
         "/home/mbrandt/.config/tiny-dfr/config.toml",
         "2026-12-07T09:00:01+0000 kestrel-mbp tiny-dfr[812]: thread 'main' panicked at ```x```"},
        {"2026-12-07T08:59:58+0000 kestrel-mbp kernel: usb 1-1: SerialNumber: C02XK1ABJHD3",
         "2026-12-07T08:59:59+0000 kestrel-mbp kernel: appletbdrm 1-1:2.1: on A4-83-E7-1B-2C-3D"},
        true,
        {}};
    return input;
}

struct Reporter {
    static std::optional<QString> play(const Row& row) {
        return writeReport(world(row.fields.at(0)), {});
    }
};

class ReportCase : public testing::TestWithParam<Row> {};

} // namespace

// The report of each world (cases/report.txt), as it is pasted into an issue.
TEST_P(ReportCase, ShowsTheWholeReading) {
    expectTranscript<Reporter>(GetParam(), "# Corvane report");
}

INSTANTIATE_TEST_SUITE_P(Transcript, ReportCase, testing::ValuesIn(rows({"report"})),
                         testing::PrintToStringParamName());

// No planted detail survives, in any case, and each kind removed is counted by occurrence; the
// user is known only by a home folder and the host only by the journal's lines. A value's line
// break and escape sequence stay inside its line, and the ids stay.
TEST(Report, RemovesPersonalDetailsAndCountsThem) {
    const QString report = writeReport(world("tiny-dfr"), {});
    for (const QString& detail : planted)
        EXPECT_FALSE(report.contains(detail, Qt::CaseInsensitive)) << detail.toStdString();
    EXPECT_TRUE(report.endsWith("- user names: 1\n- host names: 5\n- serial numbers: 2\n"
                                "- MAC addresses: 2\n- home paths: 1\n"))
        << report.toStdString();
    EXPECT_EQ(report.count("\n## Removed"), 1);
    EXPECT_FALSE(report.contains('\x1b'));
    EXPECT_TRUE(report.contains("1-1 05ac:8302 configuration 2"));
}
