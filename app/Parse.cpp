#include "app/Parse.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>

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
    // Read on the GUI thread: never more than a real file can hold. A file whose size is unknown
    // (a pipe, a device) is read only that far too.
    const QByteArray bytes = file.read(MAX_FILE_SIZE + 1);
    file.close();

    QJsonArray tables;
    QString error;
    if (bytes.size() > MAX_FILE_SIZE) {
        Log::alert(QString("Parse::parseChainringData invalid chainring data: larger than %1 bytes")
                       .arg(MAX_FILE_SIZE));
        return QList<QVariant>();
    }
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

bool Parse::holdsChainringTables(const QJsonArray& tables, QString& error)
{
    bool models = false;
    bool names = false;
    for (const QJsonValue& element : tables) {
        const QJsonObject table = element.toObject();
        const QString kind = table.value("data").toString();
        if (kind == "calibrations") {
            const QJsonArray entries = table.value("values").toArray();
            for (const QJsonValue& entry : entries) {
                const QJsonValue model = entry.toObject().value("marlet");
                const QJsonValue rings = entry.toObject().value("calibrations");
                const qsizetype ringItems = rings.toArray().size();
                if (!model.isString() || !rings.isArray() || ringItems == 0 || ringItems % 3 != 0) {
                    error = "a model entry without its name or whole ring triples";
                    return false;
                }
            }
            models = models || !entries.isEmpty();
        } else if (kind == "chainrings" && table.value("values").isObject()) {
            names = true;
        }
    }
    if (!models) {
        error = "no chainring table of any model";
        return false;
    }
    if (!names) {
        error = "no names of the chainring codes";
        return false;
    }
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

Parse::RingRegister Parse::ringRegister(const QString& code, const QString& ring)
{
    RingRegister value;
    const auto isDigit = [](QChar c) { return c >= QChar('0') && c <= QChar('9'); };
    const QString number = code.mid(1);
    const bool digits = !number.isEmpty() && std::all_of(number.begin(), number.end(), isDigit);
    if (code == "00") {
        value.make = 0;
        value.model = 0;
    } else if (!code.isEmpty() && code[0] >= QChar('A') && code[0] <= QChar('Z') && digits) {
        value.make = code[0].unicode();
        bool isNumber = false;
        value.model = number.toInt(&isNumber);
        if (!isNumber) {
            // More digits than an int holds: no byte either.
            value.model = -1;
        }
    } else {
        value.codeFits = false;
        value.make = value.model = -1;
    }
    if (ring != "Other") {
        const QString teeth = ring.mid(7, 2);
        if (teeth.size() == 2 && isDigit(teeth[0]) && isDigit(teeth[1])) {
            value.teeth = teeth.toInt();
        } else {
            value.teethFit = false;
            value.teeth = -1;
        }
    }
    return value;
}

float Parse::ringFactor(const QVariant& item)
{
    const int type = item.typeId();
    if (type != QMetaType::QString && type != QMetaType::Double) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    bool number = false;
    const float factor = item.toFloat(&number);
    return number && std::isfinite(factor) && factor > 0.0f ? factor
                                                            : std::numeric_limits<float>::quiet_NaN();
}
