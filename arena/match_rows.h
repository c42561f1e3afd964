// A match's rows in words: one table of the columns, used by the CSV and
// JSON writers and by merge's reader alike, so that every value a row can
// hold is written under one name and read back from it.
#ifndef ARENA_MATCH_ROWS_H
#define ARENA_MATCH_ROWS_H

#include "arena/judge/match.h"
#include "arena/runner.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

struct MatchField {
    const char *name;
    bool number; // digits (or empty): a number in the JSON, bare in the CSV
    QString (*write)(const MatchRow &row, const QStringList &labels);
    // False for text the writer never gives. Empty text is an absent value.
    bool (*read)(const QString &text, MatchRow &row);
};

extern const MatchField matchFields[];
extern const int matchFieldCount;

// The CSV's first line and one row's line.
QByteArray matchCsvHeader();
QByteArray matchCsvLine(const MatchRow &row, const QStringList &labels);

QJsonObject matchRowJson(const MatchRow &row, const QStringList &labels);
// The row a JSON object holds; false for anything the writer would not
// have written, including a controller that does not sit where the seat
// rotation puts it among `labels`.
bool readMatchRow(const QJsonObject &object, const QStringList &labels, MatchRow &row);

#endif
