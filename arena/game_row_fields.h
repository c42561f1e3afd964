// An evaluation's game rows in words: one table of the columns, used by the
// CSV and JSON writers and by merge's reader alike, so that every value a
// row can hold is written under one name and read back from it.
#ifndef ARENA_GAME_ROW_FIELDS_H
#define ARENA_GAME_ROW_FIELDS_H

#include "arena/game_row.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

struct GameRowField {
    const char *name;
    enum Kind { Number, Flag, Text, QuotedText } kind; // Flag: 1 or 0 in the CSV, a JSON bool
    bool inCsv, inJson;
    // The row's value; empty where the row has none (an empty CSV cell, no
    // key in the JSON).
    QString (*write)(const GameRow &row);
    // Sets the row from a value the writer gives (empty for none); false
    // for any other. Null for what follows from other columns.
    bool (*read)(const QString &text, GameRow &row);
};

extern const GameRowField gameRowFields[];
extern const int gameRowFieldCount;

// The CSV's first line and one game's line: the controller's label, the
// row's columns, then the game's replay file, if one was written.
QByteArray csvHeader();
QByteArray csvRow(const QString &controller, const GameRow &row, const QString &replay);

// A row of the JSON's "games", and the row back from one; false for
// anything the writer would not have written.
QJsonObject gameRowJson(const GameRow &row, const QString &replay);
bool readGameRowJson(const QJsonObject &object, GameRow &row);

#endif
