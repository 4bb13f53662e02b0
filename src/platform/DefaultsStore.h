#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace corvane {

// The application's per-user defaults: typed values by key that outlive the process.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // The integer under `key`; 0 when the key is absent or holds no number.
    virtual qint64 integer(const QString& key) const = 0;
    // Whatever is stored under `key`, with its stored type; invalid when absent.
    virtual QVariant object(const QString& key) const = 0;

    virtual void setInteger(const QString& key, qint64 value) = 0;
    // Stores `value` as a date, never as a number or a text.
    virtual void setDate(const QString& key, const QDateTime& value) = 0;
};

} // namespace corvane
