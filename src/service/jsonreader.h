#pragma once

#include "platform/expected.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

// Strict reader for one JSON object of the service's wire records.
//
// Keys are the fixed snake-case names of each record; keys a record does not
// name are ignored. A missing required key or a value of the wrong type makes
// the whole record fail: the reader keeps the first failure and hands out
// defaults afterwards, so a record's read function stays a flat list of fields.
// Optional keys may be absent or null.
//
// A record type T provides `static T read(JsonReader&)`.
class JsonReader {
public:
    explicit JsonReader(const QJsonValue& value, QString path = {});

    bool ok() const { return m_error.isNull(); }
    const QString& error() const { return m_error; }

    QString string(QLatin1StringView key);
    std::optional<QString> optionalString(QLatin1StringView key);
    qint64 integer(QLatin1StringView key);
    std::optional<qint64> optionalInteger(QLatin1StringView key);
    double number(QLatin1StringView key);
    bool boolean(QLatin1StringView key);
    std::optional<bool> optionalBoolean(QLatin1StringView key);
    // Dates follow the service's two-step ISO 8601 rule.
    QDateTime date(QLatin1StringView key);
    QStringList stringList(QLatin1StringView key);
    std::optional<QStringList> optionalStringList(QLatin1StringView key);

    template <typename T>
    std::optional<T> optionalObject(QLatin1StringView key) {
        const auto value = field(key, false);
        if (!value) {
            return std::nullopt;
        }
        return readNested<T>(*value, childPath(key));
    }

    template <typename T>
    std::optional<QList<T>> optionalList(QLatin1StringView key) {
        const auto value = field(key, false);
        if (!value) {
            return std::nullopt;
        }
        return readList<T>(*value, childPath(key));
    }

    template <typename T>
    QList<T> list(QLatin1StringView key) {
        const auto value = field(key, true);
        if (!value) {
            return {};
        }
        return readList<T>(*value, childPath(key));
    }

    // Marks the record as failed with `message` unless it failed already.
    void fail(const QString& message);

private:
    std::optional<QString> optionalString(QLatin1StringView key, bool required);
    std::optional<qint64> optionalInteger(QLatin1StringView key, bool required);
    std::optional<bool> optionalBoolean(QLatin1StringView key, bool required);
    std::optional<QStringList> optionalStringList(QLatin1StringView key, bool required);
    // The key's value; none when absent or null (a failure when required) or
    // when the reader has failed already.
    std::optional<QJsonValue> field(QLatin1StringView key, bool required);
    void typeMismatch(QLatin1StringView key, const char* expected);
    QString childPath(QLatin1StringView key) const;

    template <typename T>
    T readNested(const QJsonValue& value, const QString& path) {
        JsonReader child(value, path);
        T result = T::read(child);
        if (!child.ok()) {
            fail(child.error());
        }
        return result;
    }

    template <typename T>
    QList<T> readList(const QJsonValue& value, const QString& path) {
        if (!value.isArray()) {
            fail(QStringLiteral("\"%1\" should be a list").arg(path));
            return {};
        }
        const QJsonArray array = value.toArray();
        QList<T> result;
        result.reserve(array.size());
        for (qsizetype i = 0; i < array.size() && ok(); ++i) {
            result.append(readNested<T>(array.at(i), QStringLiteral("%1[%2]").arg(path).arg(i)));
        }
        return result;
    }

    QJsonObject m_object;
    QString m_path;
    QString m_error;
};

namespace json {

// Parses bytes as JSON; the error text names what is wrong and where.
Expected<QJsonValue, QString> parse(const QByteArray& bytes);

template <typename T>
Expected<T, QString> decodeValue(const QJsonValue& value) {
    JsonReader reader(value);
    T result = T::read(reader);
    if (!reader.ok()) {
        return Unexpected{reader.error()};
    }
    return result;
}

template <typename T>
Expected<T, QString> decode(const QByteArray& bytes) {
    auto value = parse(bytes);
    if (!value) {
        return Unexpected{value.error()};
    }
    return decodeValue<T>(*value);
}

// A bare JSON array of records.
template <typename T>
Expected<QList<T>, QString> decodeList(const QByteArray& bytes) {
    auto value = parse(bytes);
    if (!value) {
        return Unexpected{value.error()};
    }
    if (!value->isArray()) {
        return Unexpected{QStringLiteral("expected a list")};
    }
    QList<T> result;
    const QJsonArray array = value->toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        JsonReader reader(array.at(i), QStringLiteral("[%1]").arg(i));
        result.append(T::read(reader));
        if (!reader.ok()) {
            return Unexpected{reader.error()};
        }
    }
    return result;
}

// A JSON object all of whose values are strings; none for anything else.
std::optional<QHash<QString, QString>> stringMap(const QByteArray& bytes);

} // namespace json
} // namespace tolvane
