#pragma once

#include <QString>

#include <cstddef>

namespace corvane {

// The kernel's hardware-model query, shaped like sysctlbyname(3): called with a null
// buffer it stores the size the answer needs (terminating zero byte included) in `size`;
// called with a buffer of `size` bytes it fills it. Returns 0 on success, non-zero on failure.
class ModelQuery {
public:
    virtual ~ModelQuery() = default;

    virtual int query(const char* name, char* buffer, std::size_t& size) = 0;
};

// This machine's answer. On macOS that is sysctlbyname itself. On Linux, where the device tree
// names an Apple board (Apple silicon), that board, given as the model of the Mac it is when
// that Mac has a Touch Bar: apple,j293 is MacBookPro17,1 (13-inch, 2020) and apple,j493 is
// Mac14,7 (13-inch, 2022). Otherwise the firmware's product name, which Intel Macs set to their
// model (e.g. MacBookPro15,2), trusted only where the firmware's vendor (sys_vendor, beside it)
// is Apple. An unreadable answer, or none, is a non-zero result.
class SystemModelQuery final : public ModelQuery {
public:
    SystemModelQuery();
#ifndef __APPLE__
    // Reads the files at these paths, and the vendor beside the product name, instead of the
    // system's own.
    SystemModelQuery(QString productNameFile, QString deviceTreeFile);
#endif

    int query(const char* name, char* buffer, std::size_t& size) override;

#ifndef __APPLE__
private:
    QByteArray answer() const;

    QString productNameFile;
    QString deviceTreeFile;
#endif
};

} // namespace corvane
