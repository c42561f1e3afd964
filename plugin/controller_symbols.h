// Why a library does not give the game its `controller`, in words that say
// how to fix it.
#ifndef CONTROLLER_SYMBOLS_H
#define CONTROLLER_SYMBOLS_H

#include <QString>
#include <QStringList>

struct ControllerSymbols {
    bool readable = false; // an ELF shared object we could read
    QStringList exported;  // exported functions whose names hold "controller"
    QStringList hidden;    // such functions present but not exported
};

// Reads the library's symbol tables; it never loads or runs the library.
ControllerSymbols scanControllerSymbols(const QString &libraryPath);

// The library file's SHA-256 in hex, naming the exact controller in rows,
// shards and replays; empty when it cannot be read.
QString librarySha256(const QString &libraryPath);

// "LIB exports no 'controller' function", the likely causes, and what the
// library does have that looks like it.
QString missingControllerMessage(const QString &libraryPath);

#endif
