#pragma once
// A checker for the part of JSON Schema that docs/json-lines.schema.json uses: type (one
// name or a list), enum, required, properties, additionalProperties false, items and
// oneOf. A keyword that concerns objects or arrays passes over other values, as in the
// standard. Returns an empty text when the value matches, else where and why it does not.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace ql::test {

inline bool JsonTypeIs(const QJsonValue& value, const QString& type)
{
    if (type == "null")
        return value.isNull();
    if (type == "boolean")
        return value.isBool();
    if (type == "string")
        return value.isString();
    if (type == "object")
        return value.isObject();
    if (type == "array")
        return value.isArray();
    if (type == "number")
        return value.isDouble();
    if (type == "integer")
        return value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
    return false;
}

inline QString JsonSchemaMismatch(const QJsonValue& value, const QJsonObject& schema, const QString& where = "$")
{
    if (schema.contains("type")) {
        const QJsonValue type = schema.value("type");
        const QJsonArray types = type.isArray() ? type.toArray() : QJsonArray{type};
        bool any = false;
        for (const QJsonValue& t : types)
            any = any || JsonTypeIs(value, t.toString());
        if (!any)
            return where + ": not of type " + QJsonDocument(types).toJson(QJsonDocument::Compact);
    }
    if (schema.contains("enum") && !schema.value("enum").toArray().contains(value))
        return where + ": not one of the listed values";
    if (schema.contains("oneOf")) {
        int matching = 0;
        QString reasons;
        for (const QJsonValue& branch : schema.value("oneOf").toArray()) {
            const QString why = JsonSchemaMismatch(value, branch.toObject(), where);
            if (why.isEmpty())
                ++matching;
            else
                reasons += "\n  " + why;
        }
        if (matching != 1)
            return where + ": matches " + QString::number(matching) + " of oneOf" + reasons;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const QJsonValue& name : schema.value("required").toArray()) {
            if (!object.contains(name.toString()))
                return where + ": lacks " + name.toString();
        }
        const QJsonObject properties = schema.value("properties").toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (properties.contains(it.key())) {
                const QString why =
                    JsonSchemaMismatch(it.value(), properties.value(it.key()).toObject(), where + "." + it.key());
                if (!why.isEmpty())
                    return why;
            } else if (schema.value("additionalProperties") == QJsonValue(false)) {
                return where + ": has " + it.key() + ", which is not listed";
            }
        }
    }
    if (value.isArray() && schema.contains("items")) {
        const QJsonArray items = value.toArray();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString why = JsonSchemaMismatch(items.at(i), schema.value("items").toObject(),
                                                   where + "[" + QString::number(i) + "]");
            if (!why.isEmpty())
                return why;
        }
    }
    return {};
}

inline QJsonObject LoadJsonSchema()
{
    QFile file(QStringLiteral(JSON_SCHEMA_PATH));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

}  // namespace ql::test
