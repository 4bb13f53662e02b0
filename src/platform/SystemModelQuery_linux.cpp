#include "SystemModelQuery.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvane {

SystemModelQuery::SystemModelQuery()
    : SystemModelQuery(QStringLiteral("/sys/class/dmi/id/product_name")) {}

SystemModelQuery::SystemModelQuery(QString productNameFile)
    : productNameFile(std::move(productNameFile)) {}

int SystemModelQuery::query(const char* name, char* buffer, std::size_t& size) {
    if (std::strcmp(name, "hw.model") != 0)
        return ENOENT;
    QFile file(productNameFile);
    if (!file.open(QIODevice::ReadOnly))
        return EACCES;
    // The kernel's answer is short; a larger file is not a product name.
    QByteArray answer = file.read(4096);
    if (file.error() != QFileDevice::NoError)
        return EIO;
    // sysfs ends the value with a newline that the sysctl answer does not have.
    if (answer.endsWith('\n'))
        answer.chop(1);
    answer.append('\0');

    const auto needed = static_cast<std::size_t>(answer.size());
    if (buffer == nullptr) {
        size = needed;
        return 0;
    }
    const std::size_t copied = std::min(size, needed);
    std::memcpy(buffer, answer.constData(), copied);
    size = copied;
    return copied < needed ? ENOMEM : 0;
}

} // namespace corvane
