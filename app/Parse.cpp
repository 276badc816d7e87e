#include "app/Parse.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

using rezezaz::core::Log;

namespace {

// Appends the decoded value to `list`, or nothing for a boolean (or an undefined value).
void appendDecoded(QList<QVariant>& list, const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Array:
        list.append(QVariant(Parse::decodeInnerToList(value.toArray())));
        break;
    case QJsonValue::Double:
        list.append(QVariant(value.toDouble()));
        break;
    case QJsonValue::String:
        list.append(QVariant(value.toString()));
        break;
    case QJsonValue::Null:
        list.append(QVariant());
        break;
    case QJsonValue::Object:
        list.append(QVariant(Parse::decodeInner(value.toObject())));
        break;
    case QJsonValue::Bool:
    case QJsonValue::Undefined:
        break;
    }
}

} // namespace

QList<QVariant> Parse::loadChainringData(const QString& dataFolder)
{
    Log::alert("Parse::parseChainringData");

    QFile file(QDir::toNativeSeparators(dataFolder + "/chainringData.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        Log::alert("Parse::parseChainringData unable to load cached calibration tables");
        Log::alert("Parse::parseChainringData loading old calibration tables");
        file.setFileName(":chainringData.json");
        if (!file.open(QIODevice::ReadOnly)) {
            Log::alert("Parse::parseChainringData unable to load old calibration tables");
            return QList<QVariant>();
        }
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonArray tables;
    QString error;
    if (!readChainringText(bytes, tables, error)) {
        Log::alert("Parse::parseChainringData invalid chainring data: " + error);
        return QList<QVariant>();
    }
    return decodeInnerToList(tables);
}

bool Parse::readChainringText(const QByteArray& bytes, QJsonArray& tables, QString& error)
{
    const qsizetype end = bytes.indexOf('\0');
    const QByteArray text = QString::fromLatin1(end >= 0 ? bytes.left(end) : bytes).toUtf8();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QString("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!document.isArray()) {
        error = "not a list of tables";
        return false;
    }
    tables = document.array();
    return true;
}

QList<QVariant> Parse::decodeInnerToList(const QJsonArray& array)
{
    QList<QVariant> list;
    for (const QJsonValue& value : array)
        appendDecoded(list, value);
    return list;
}

QMap<QString, QVariant> Parse::decodeInner(const QJsonObject& object)
{
    QMap<QString, QVariant> map;
    for (auto it = object.begin(); it != object.end(); ++it) {
        QList<QVariant> decoded;
        appendDecoded(decoded, it.value());
        if (!decoded.isEmpty())
            map.insert(it.key(), decoded.first());
    }
    return map;
}
