#include "SettingsDefaultsStore.h"

#include <QStandardPaths>

namespace corvane {
#ifdef __APPLE__
// The organisation "tamberlin.com" and the application "corvane" make the preferences
// domain com.tamberlin.corvane.
SettingsDefaultsStore::SettingsDefaultsStore()
    : settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tamberlin.com"),
               QStringLiteral("corvane")) {}
#else
SettingsDefaultsStore::SettingsDefaultsStore()
    : SettingsDefaultsStore(
          QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/com.tamberlin.corvane.conf")) {}
#endif

SettingsDefaultsStore::SettingsDefaultsStore(const QString& fileName)
    : settings(fileName, QSettings::IniFormat) {}

qint64 SettingsDefaultsStore::integer(const QString& key) const {
    bool isNumber = false;
    const qint64 value = settings.value(key).toLongLong(&isNumber);
    return isNumber ? value : 0;
}

QVariant SettingsDefaultsStore::object(const QString& key) const {
    return settings.value(key);
}

void SettingsDefaultsStore::setInteger(const QString& key, qint64 value) {
    settings.setValue(key, value);
    settings.sync();
}

void SettingsDefaultsStore::setDate(const QString& key, const QDateTime& value) {
    settings.setValue(key, value);
    settings.sync();
}

} // namespace corvane
