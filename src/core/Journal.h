#pragma once

#include "core/ToolSession.h"
#include "platform/Observation.h"

namespace corvane {

// The system journal as this user may read it: the one place that runs journalctl. Two bounded
// runs, each at most 200 lines, of which Corvane keeps the first 64 KiB: the lines of the
// daemon's invocation `invocation` (tagged with it by the daemon's output or by systemd's own
// lines about the unit; not read when empty), and the kernel's lines of this boot that mention
// the Touch Bar's drivers (appletbdrm, hid_appletb_*) or the T2 bridge (bce-vhci, t2bce).
// A user outside the systemd-journal and adm groups sees only their own lines, which are none of
// these: `permitted` says so and no line is kept.
JournalLines readJournal(const ToolSession& tools, const QString& invocation);

// The message of a journal line as readJournal keeps it ("2026-12-07T09:00:00+0000 host
// tiny-dfr[812]: words" gives "words").
QString journalMessage(const QString& line);
// The host that wrote a journal line as readJournal keeps it ("host" in the line above), or
// nothing for a line of another shape.
QString journalHost(const QString& line);

} // namespace corvane
