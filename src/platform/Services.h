#pragma once

#include "platform/Administrator.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ModelQuery.h"
#include "platform/ToolRunner.h"

#include <QSettings>
#include <QStringList>

#include <memory>
#include <sys/types.h>

namespace corvane {

// What the Touch Bar's manager works through. The references must outlive every manager and
// every restart built on them.
struct Services {
    ToolRunner& tools;
    ModelQuery& modelQuery;
    Clock& clock;
    // Standard output: every diagnostic line, and what the tools print there.
    Log& output;
    // Standard error: what the tools complain of there.
    Log& errors;
    // The user whose processes a restart may terminate without an administrator.
    uid_t user;
    // How an administrator is asked.
    administrator::Prompt prompt = administrator::systemPrompt;
    // Where the system's files lie, /sys among them: "/" but in a test.
    QString root = QStringLiteral("/");
};

// This machine's own services, as the shipped application uses them.
class SystemServices {
public:
    SystemServices();

    Services services();
    Log& output() { return standardOutput; }

private:
    PosixToolRunner tools;
    SystemModelQuery modelQuery;
    SystemClock clock;
    Log standardOutput;
    Log standardError;
};

// The user's settings for Corvane: the preferences domain com.tamberlin.corvane on macOS,
// elsewhere the file com.tamberlin.corvane.conf in the user's configuration folder. Null when
// the user has no home folder to keep them in, nothing being written outside one, or when what
// is there is not a plain file (a FIFO would hold the reader for good).
std::unique_ptr<QSettings> openSettings();

// $HOME when it names a home folder; empty when it is missing, relative, "/" (which Qt takes
// for a missing one) or not a name Qt can give back byte for byte.
QString homeFolder();

// The folder the XDG base-directory `variable` names (XDG_CONFIG_HOME, XDG_STATE_HOME), else
// `fallback` in the home folder: a relative one is ignored. Empty with neither.
QString userFolder(const char* variable, const QString& fallback);

// Where the instance lock may live, the most private first, chosen by the user's id and the
// account's home folder, never by the environment: the runtime folder /run/user/<uid> (not on
// macOS), the home's cache folder, and /tmp/corvane-<uid>.
QStringList instanceLockFolders();

} // namespace corvane
