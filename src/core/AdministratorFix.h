#pragma once

#include "core/ToolSession.h"
#include "core/TouchBarError.h"
#include "platform/Administrator.h"

#include <optional>

namespace corvane {

// Does `fix` with an administrator's rights, asking once through the services' prompt;
// `services` are the allow-listed names StopServices ends. Each way the prompt can end has its
// own error: dismissed or refused (AdministratorDeclined), no prompt to be shown
// (PromptUnavailable), granted but failed (KillFailed with the helper's words). The prompt's and
// the helper's own words go to the log.
std::optional<TouchBarError> fixAsAdministrator(const ToolSession& tools, administrator::Fix fix,
                                                const QStringList& services);

} // namespace corvane
