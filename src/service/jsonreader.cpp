#include "jsonreader.h"

#include "common/iso8601.h"

#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace tolvane {

JsonReader::JsonReader(const QJsonValue& value, QString path)
    : m_path(std::move(path)) {
    if (value.isObject()) {
        m_object = value.toObject();
    } else {
        m_error = m_path.isEmpty() ? u"expected a JSON object"_s
                                   : u"\"%1\" should be an object"_s.arg(m_path);
    }
}

void JsonReader::fail(const QString& message) {
    if (m_error.isNull()) {
        m_error = message;
    }
}

QString JsonReader::childPath(QLatin1StringView key) const {
    return m_path.isEmpty() ? QString(key) : m_path + u'.' + key;
}

std::optional<QJsonValue> JsonReader::field(QLatin1StringView key, bool required) {
    if (!ok()) {
        return std::nullopt;
    }
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull() || it->isUndefined()) {
        if (required) {
            fail(it == m_object.constEnd()
                     ? u"missing key \"%1\""_s.arg(childPath(key))
                     : u"\"%1\" is null but a value is required"_s.arg(childPath(key)));
        }
        return std::nullopt;
    }
    return *it;
}

void JsonReader::typeMismatch(QLatin1StringView key, const char* expected) {
    fail(u"\"%1\" should be %2"_s.arg(childPath(key), QLatin1String(expected)));
}

QString JsonReader::string(QLatin1StringView key) {
    return optionalString(key, true).value_or(QString());
}

std::optional<QString> JsonReader::optionalString(QLatin1StringView key) {
    return optionalString(key, false);
}

std::optional<QString> JsonReader::optionalString(QLatin1StringView key, bool required) {
    const auto value = field(key, required);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isString()) {
        typeMismatch(key, "a string");
        return std::nullopt;
    }
    return value->toString();
}

std::optional<qint64> JsonReader::optionalInteger(QLatin1StringView key, bool required) {
    const auto value = field(key, required);
    if (!value) {
        return std::nullopt;
    }
    // toInteger() gives its default for anything that is not an integral
    // number in range, so two different defaults reveal a mismatch.
    const qint64 a = value->toInteger(0);
    const qint64 b = value->toInteger(1);
    if (!value->isDouble() || a != b) {
        typeMismatch(key, "an integer");
        return std::nullopt;
    }
    return a;
}

qint64 JsonReader::integer(QLatin1StringView key) {
    return optionalInteger(key, true).value_or(0);
}

std::optional<qint64> JsonReader::optionalInteger(QLatin1StringView key) {
    return optionalInteger(key, false);
}

double JsonReader::number(QLatin1StringView key) {
    const auto value = field(key, true);
    if (!value) {
        return 0;
    }
    if (!value->isDouble()) {
        typeMismatch(key, "a number");
        return 0;
    }
    return value->toDouble();
}

std::optional<bool> JsonReader::optionalBoolean(QLatin1StringView key, bool required) {
    const auto value = field(key, required);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isBool()) {
        typeMismatch(key, "true or false");
        return std::nullopt;
    }
    return value->toBool();
}

bool JsonReader::boolean(QLatin1StringView key) {
    return optionalBoolean(key, true).value_or(false);
}

std::optional<bool> JsonReader::optionalBoolean(QLatin1StringView key) {
    return optionalBoolean(key, false);
}

QDateTime JsonReader::date(QLatin1StringView key) {
    const auto text = optionalString(key, true);
    if (!text) {
        return {};
    }
    if (auto parsed = iso8601::parseEither(*text)) {
        return *parsed;
    }
    fail(u"bad date: "_s + *text);
    return {};
}

std::optional<QStringList> JsonReader::optionalStringList(QLatin1StringView key, bool required) {
    const auto value = field(key, required);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isArray()) {
        typeMismatch(key, "a list of strings");
        return std::nullopt;
    }
    QStringList result;
    for (const QJsonValue& element : value->toArray()) {
        if (!element.isString()) {
            typeMismatch(key, "a list of strings");
            return std::nullopt;
        }
        result.append(element.toString());
    }
    return result;
}

QStringList JsonReader::stringList(QLatin1StringView key) {
    return optionalStringList(key, true).value_or(QStringList());
}

std::optional<QStringList> JsonReader::optionalStringList(QLatin1StringView key) {
    return optionalStringList(key, false);
}

namespace json {

Expected<QJsonValue, QString> parse(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        return Unexpected{u"the data is not valid JSON (%1 at offset %2)"_s.arg(error.errorString())
                              .arg(error.offset)};
    }
    if (document.isArray()) {
        return QJsonValue(document.array());
    }
    return QJsonValue(document.object());
}

std::optional<QHash<QString, QString>> stringMap(const QByteArray& bytes) {
    auto value = parse(bytes);
    if (!value || !value->isObject()) {
        return std::nullopt;
    }
    QHash<QString, QString> result;
    const QJsonObject object = value->toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it->isString()) {
            return std::nullopt;
        }
        result.insert(it.key(), it->toString());
    }
    return result;
}

} // namespace json
} // namespace tolvane
