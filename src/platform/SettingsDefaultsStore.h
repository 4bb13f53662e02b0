#pragma once

#include "DefaultsStore.h"

#include <QSettings>

namespace corvane {

// The defaults in the platform's native settings format under the domain
// com.tamberlin.corvane: CFPreferences on macOS, an INI file in the user's configuration
// folder elsewhere. Dates keep their type in both. Every write reaches storage before the
// setter returns, so a process that ends right after a save loses nothing.
class SettingsDefaultsStore final : public DefaultsStore {
public:
    SettingsDefaultsStore();
    // Keeps the defaults in the INI file at `fileName` instead.
    explicit SettingsDefaultsStore(const QString& fileName);

    qint64 integer(const QString& key) const override;
    QVariant object(const QString& key) const override;
    void setInteger(const QString& key, qint64 value) override;
    void setDate(const QString& key, const QDateTime& value) override;

private:
    // QSettings reads lazily and caches, so even reading needs a mutable handle.
    mutable QSettings settings;
};

} // namespace corvane
