#include "Check.h"
#include "Fakes.h"
#include "core/TouchBarManager.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace corvane;

// A corrupt file can make Qt's own reader ask for gigabytes at once: a container stored as
// "@Variant(...)" is reserved for the element count the file claims. The shipped build either
// gets nothing (and Qt reports the value as corrupt) or gets pages it never touches; under
// AddressSanitizer the shadow of such a block alone would be touched and fill the memory. So
// here an allocation above 1 GB is refused, as a small machine would, rather than either.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Qt warns about every unknown type in a corrupt value; that is expected here and slow.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

// Whatever the settings file holds, a new manager loads it without crashing: the count is
// the number stored under its key unless that is negative, else 0, and there is a last
// restart time only when a date is stored under its key, and then it is that date. Loading
// runs no tool.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir folder;
    static int serial = 0;
    // A new name each time: QSettings caches what it read by file name.
    const QString path = folder.filePath(QString::number(serial++) + QStringLiteral(".conf"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                   static_cast<qint64>(size));
    }

    {
        fakes::FakeServices fakes;
        QSettings store(path, QSettings::IniFormat);
        const TouchBarManager manager(fakes.services(), appleServices(), &store);

        const QSettings file(path, QSettings::IniFormat);
        bool isNumber = false;
        const qint64 stored =
            file.value(QStringLiteral("TouchBarRestartCount")).toLongLong(&isNumber);
        FUZZ_CHECK(manager.restartCount() == (isNumber && stored >= 0 ? stored : 0));
        const QVariant last = file.value(QStringLiteral("LastTouchBarRestart"));
        const bool isDate = last.typeId() == QMetaType::QDateTime;
        FUZZ_CHECK(manager.lastRestartTime().isValid() == (isDate && last.toDateTime().isValid()));
        if (isDate)
            FUZZ_CHECK(manager.lastRestartTime() == last.toDateTime());
        FUZZ_CHECK(fakes.system.processes.isEmpty());
    }
    QFile::remove(path);
    return 0;
}
