#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

// Reads the chainring data file "chainringData.json": for each power-meter model the chainrings
// that fit it, with their chainring codes and slope factors, and the table that names every code.
// The file in the data folder comes first (it may have been downloaded), the copy compiled into the
// program second. The text is read as JSON data and never run as a script. Static operations only;
// nothing caches the result, so every caller reads the file afresh.
class Parse
{
public:
    Parse() = delete;

    // A real chainring data file is some kilobytes; a larger one is refused unread.
    static constexpr qint64 MAX_FILE_SIZE = 1024 * 1024;

    // The decoded top-level array of `dataFolder` + "/chainringData.json", else of the compiled-in
    // ":chainringData.json". Empty when neither opens, or when the file that opened is larger than
    // MAX_FILE_SIZE or holds no valid JSON array (logged).
    static QList<QVariant> loadChainringData(const QString& dataFolder);

    // Reads file content as chainring data: the text ends at the first zero byte and each byte is
    // one character. True with `tables` set when it is a JSON array; false with `error` set otherwise.
    static bool readChainringText(const QByteArray& bytes, QJsonArray& tables, QString& error);

    // True when `tables` holds the tables the readers use: a "calibrations" table whose model
    // entries each have a model name and whole ring triples (one entry at least), and a "chainrings"
    // table of code names. False with `error` set otherwise.
    static bool holdsChainringTables(const QJsonArray& tables, QString& error);

    // The elements of an array, decoded in order: arrays as QList<QVariant>, objects as
    // QMap<QString, QVariant>, numbers as double, strings as QString, null as an invalid QVariant.
    // Booleans are dropped, so the items after one move up into its place.
    static QList<QVariant> decodeInnerToList(const QJsonArray& array);
    // The members of an object by name, each decoded as above; booleans are dropped.
    static QMap<QString, QVariant> decodeInner(const QJsonObject& object);

    // What the user chainring register is set to for the ring named `ring` with the chainring code
    // `code`: its maker (the code's first character when it is a capital letter, else 0), its model
    // (the number after it; 0 for the code "00") and its teeth (the two digits at 7 in the name, 0
    // for "Other"). A code that is neither "00" nor a capital letter followed by a decimal number
    // gives `codeFits` false, and a name without two digits at 7 gives `teethFit` false; their bytes
    // are -1 then. The caller checks that each byte fits.
    struct RingRegister
    {
        int make = 0;
        int model = 0;
        int teeth = 0;
        bool codeFits = true;
        bool teethFit = true;
    };
    static RingRegister ringRegister(const QString& code, const QString& ring);

    // The factor of a ring triple's third item as the readers convert it; NaN when it is no finite
    // number above 0 (text that is no number, an array, an object, null, 0, a negative number), which
    // no slope can be scaled by.
    static float ringFactor(const QVariant& item);
};
