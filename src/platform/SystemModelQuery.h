#pragma once

#include "ModelQuery.h"

#include <QString>

namespace corvane {

// The hardware model as the kernel reports it. On macOS this is sysctlbyname itself. On
// Linux the firmware's product name stands in (Intel Macs report e.g. MacBookPro15,2 there),
// answered with the same two-call contract; an unreadable file is a non-zero result.
class SystemModelQuery final : public ModelQuery {
public:
    SystemModelQuery();
#ifndef __APPLE__
    // Reads the product name from `productNameFile` instead of the firmware's own file.
    explicit SystemModelQuery(QString productNameFile);
#endif

    int query(const char* name, char* buffer, std::size_t& size) override;

#ifndef __APPLE__
private:
    QString productNameFile;
#endif
};

} // namespace corvane
