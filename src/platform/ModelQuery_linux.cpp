#include "platform/ModelQuery.h"

#include "platform/PlainFile.h"

#include <QDir>
#include <QFileInfo>

namespace corvane {
namespace {

// Either answer is short; a longer file is not one of them.
constexpr qsizetype answerLimit = 4096;
// As long as macOS lets a model's name be.
constexpr qsizetype modelLimit = 1022;

QByteArray contentsOf(const QString& path) {
    const PlainFile file = readPlainFile(path, answerLimit);
    return file.isRead() ? file.bytes : QByteArray();
}

QByteArray answer(const QString& productNameFile, const QString& deviceTreeFile) {
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
    // sysfs ends the value with a newline that is no part of the name.
    if (productName.endsWith('\n'))
        productName.chop(1);
    return productName;
}

} // namespace

SystemModelQuery::SystemModelQuery()
    : SystemModelQuery(QStringLiteral("/sys/class/dmi/id/product_name"),
                       QStringLiteral("/proc/device-tree/compatible")) {}

SystemModelQuery::SystemModelQuery(QString productNameFile, QString deviceTreeFile)
    : productNameFile(std::move(productNameFile))
    , deviceTreeFile(std::move(deviceTreeFile)) {}

std::optional<QString> SystemModelQuery::model(Log&) {
    QByteArray model = answer(productNameFile, deviceTreeFile);
    // The text ends at a zero byte, as a name the kernel hands over does; one longer than a
    // model's name is none.
    if (const qsizetype zero = model.indexOf('\0'); zero >= 0)
        model.truncate(zero);
    if (model.isEmpty() || model.size() > modelLimit)
        return std::nullopt;
    return QString::fromUtf8(model);
}

} // namespace corvane
