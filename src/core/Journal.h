#pragma once

#include "core/ToolSession.h"
#include "platform/Observation.h"

namespace corvane {

// The system journal as this user may read it: the one place that runs journalctl. Each read is
// one bounded run of at most 200 lines, of which Corvane keeps the newest 64 KiB. A user outside
// the systemd-journal and adm groups sees only their own lines, which are none of these:
// `permitted` says so and no line is kept.

// The lines of the daemon's invocation `invocation` (tagged with it by the daemon's output or by
// systemd's own lines about the unit; not read when empty). A match on a field the journal
// indexes: quick however large the journal.
JournalLines readJournal(const ToolSession& tools, const QString& invocation);

// Adds to `read` the kernel's lines of this boot that mention the Touch Bar's drivers
// (appletbdrm, hid_appletb_*) or the T2 bridge (bce-vhci, t2bce), unless `read` already failed.
// No field names the driver, so journalctl reads every kernel line of the boot: on a system
// journal of a gigabyte that is the better part of a second.
void readKernelLines(const ToolSession& tools, JournalLines& read);

// The message of a journal line as readJournal keeps it ("2026-12-07T09:00:00+0000 host
// tiny-dfr[812]: words" gives "words").
QString journalMessage(const QString& line);
// The host that wrote a journal line as readJournal keeps it ("host" in the line above), or
// nothing for a line of another shape.
QString journalHost(const QString& line);

} // namespace corvane
