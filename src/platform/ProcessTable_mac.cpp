#include "platform/ToolRunner.h"

#include <libproc.h>
#include <sys/param.h>
#include <sys/proc.h>
#include <sys/proc_info.h>

#include <algorithm>
#include <vector>

namespace corvane {

std::optional<RunningProcesses> PosixToolRunner::processesNamed(const QString& name) {
    const QByteArray whole = name.toUtf8();
    const int count = proc_listallpids(nullptr, 0);
    if (count <= 0)
        return std::nullopt;
    // Room for the processes started between the count and the list.
    std::vector<pid_t> ids(static_cast<std::size_t>(count) + 64);
    const int listed = proc_listallpids(ids.data(), static_cast<int>(ids.size() * sizeof(pid_t)));
    if (listed <= 0)
        return std::nullopt;
    ids.resize(std::min(ids.size(), static_cast<std::size_t>(listed)));
    RunningProcesses found;
    for (const pid_t id : ids) {
        // proc_name() keeps twice MAXCOMLEN of the program's file name, where pgrep sees
        // MAXCOMLEN.
        char programName[2 * MAXCOMLEN + 1] = {};
        if (proc_name(id, programName, static_cast<std::uint32_t>(sizeof programName)) <= 0 ||
            whole != programName)
            continue;
        proc_bsdshortinfo info{};
        if (proc_pidinfo(id, PROC_PIDT_SHORTBSDINFO, 0, &info, static_cast<int>(sizeof info)) !=
                static_cast<int>(sizeof info) ||
            info.pbsi_status == SZOMB)
            continue;
        found << RunningProcess{id, info.pbsi_ruid};
    }
    return found;
}

} // namespace corvane
