#pragma once

#include "platform/Log.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

namespace corvane {

// The hardware model identifier, e.g. "MacBookPro16,1".
class ModelQuery {
public:
    virtual ~ModelQuery() = default;

    // The model as the system names it, not trimmed, bytes that are not UTF-8 as U+FFFD; nothing
    // when the machine names none. What was wrong with an answer the system gave goes to `log`.
    virtual std::optional<QString> model(Log& log) = 0;
};

// sysctlbyname(3) asked for "hw.model": with a null buffer it stores the size the answer needs
// (terminating zero byte included) in `size`; with a buffer of `size` bytes it fills it; 0 is
// success.
using ModelSysctl = std::function<int(char* buffer, std::size_t& size)>;

// The model through sysctl's two calls. The answer must need 1 to 1023 bytes; anything else, or a
// failing read, is logged under "🔒 Security:" and gives nothing. The text ends at the first zero
// byte; an answer that fills the whole buffer without one is taken whole, and nothing past the
// buffer is read.
std::optional<QString> modelFromSysctl(const ModelSysctl& sysctl, Log& log);

// This machine's answer. On macOS that is sysctl's. On Linux, where the device tree names an
// Apple board (Apple silicon), that board, given as the model of the Mac it is when that Mac has
// a Touch Bar: apple,j293 is MacBookPro17,1 (13-inch, 2020) and apple,j493 is Mac14,7 (13-inch,
// 2022). Otherwise the firmware's product name, which Intel Macs set to their model (e.g.
// MacBookPro15,2), trusted only where the firmware's vendor (sys_vendor, beside it) is Apple.
// A machine that names no model is no fault: Linux then says nothing.
class SystemModelQuery final : public ModelQuery {
public:
    SystemModelQuery();
#ifndef __APPLE__
    // Reads the files at these paths, and the vendor beside the product name, instead of the
    // system's own.
    SystemModelQuery(QString productNameFile, QString deviceTreeFile);
#endif

    std::optional<QString> model(Log& log) override;

#ifndef __APPLE__
private:
    QString productNameFile;
    QString deviceTreeFile;
#endif
};

} // namespace corvane
