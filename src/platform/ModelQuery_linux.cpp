#include "platform/ModelQuery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

// Either answer is short; a longer file is not one of them. Only a plain file is read, opened
// without waiting: a FIFO planted there must not hold the caller in open().
QByteArray contentsOf(const QString& path) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info = {};
    QFile file;
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (descriptor >= 0)
            ::close(descriptor);
        return {};
    }
    const QByteArray contents = file.read(4096);
    return file.error() == QFileDevice::NoError ? contents : QByteArray();
}

} // namespace

SystemModelQuery::SystemModelQuery()
    : SystemModelQuery(QStringLiteral("/sys/class/dmi/id/product_name"),
                       QStringLiteral("/proc/device-tree/compatible")) {}

SystemModelQuery::SystemModelQuery(QString productNameFile, QString deviceTreeFile)
    : productNameFile(std::move(productNameFile))
    , deviceTreeFile(std::move(deviceTreeFile)) {}

QByteArray SystemModelQuery::answer() const {
    // A list of names, each ending in a zero byte, from the most to the least specific. It names
    // an Apple silicon Mac exactly, where a firmware may fill its product name with anything.
    const QList<QByteArray> boards = contentsOf(deviceTreeFile).split('\0');
    if (boards.front().startsWith("apple,")) {
        if (boards.contains("apple,j293"))
            return "MacBookPro17,1";
        if (boards.contains("apple,j493"))
            return "Mac14,7";
        return boards.front();
    }
    // The firmware's product name is the model of an Intel Mac, and only of a Mac.
    if (contentsOf(QFileInfo(productNameFile).dir().filePath(QStringLiteral("sys_vendor")))
            .trimmed() != "Apple Inc.")
        return {};
    QByteArray productName = contentsOf(productNameFile);
    // sysfs ends the value with a newline that the sysctl answer does not have.
    if (productName.endsWith('\n'))
        productName.chop(1);
    return productName;
}

int SystemModelQuery::query(const char* name, char* buffer, std::size_t& size) {
    if (std::strcmp(name, "hw.model") != 0)
        return ENOENT;
    QByteArray model = answer();
    if (model.isEmpty())
        return ENOENT;
    model.append('\0');

    const auto needed = static_cast<std::size_t>(model.size());
    if (buffer == nullptr) {
        size = needed;
        return 0;
    }
    const std::size_t copied = std::min(size, needed);
    std::memcpy(buffer, model.constData(), copied);
    size = copied;
    return copied < needed ? ENOMEM : 0;
}

} // namespace corvane
