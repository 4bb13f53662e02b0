#pragma once

#include "core/Backend.h"
#include "core/Health.h"
#include "core/Redaction.h"
#include "platform/Diagnostics.h"
#include "platform/Observation.h"
#include "platform/Services.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace corvane {

// Everything a report tells, gathered before a word of it is written.
struct ReportInput {
    // Corvane's version.
    QString version;
    // The system's name and version, as systemName() gives it.
    QString system;
    // The backend's key, empty where there is none.
    QString backend;
    bool touchBar = false;
    Health health;
    // What the health was read from: the model, the kernel, the devices, the unit, the journal.
    Observation observation;
    // macOS's crash reports of TouchBarServer, newest first.
    QList<CrashReport> crashReports;
    // The history's entries, oldest first.
    QList<QJsonObject> history;
};

// How many of the history's newest entries a report shows: enough for a pattern across weeks of
// wakes, short enough to paste.
constexpr int reportedHistory = 50;

// The report maintainers ask for, to paste into an issue: Markdown headings, the tools' and the
// journal's own words in fenced blocks. Every value is printed harmless, so no escape sequence or
// line break in it reaches a terminal or makes a heading of its own. Personal details are removed
// as redact() removes them, with `names` and the hosts the journal's lines name, and the report
// ends with how many of each kind were.
QString writeReport(const ReportInput& input, const PersonalNames& names);

// Reads everything a report tells: the Touch Bar's detection, its processes and health, the
// system's name under `services.root`, macOS's crash reports, with `history` as it is given.
// Runs tools, so never on the GUI thread.
ReportInput readReportInput(const Services& services, const Backend& backend,
                            const QList<QJsonObject>& history);

// The names of this user and this machine, which no report may carry.
PersonalNames personalNames();

} // namespace corvane
