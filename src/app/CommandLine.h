#pragma once
// The program's own reading of its command line. Qt is handed the program
// name alone: a file named like one of Qt's options ("-platformpluginpath",
// "-plugin", ...), as a file manager or a shell glob passes it, would
// otherwise make Qt load a library of the attacker's choosing.

#include <QStringList>

// Every argument, index 0 the program; names that are not valid UTF-8 are
// reached through a readable link (see ForeignFileNames.h).
QStringList readCommandLine(int argc, char* argv[]);

// The arguments up to a "--" (the ones that may be switches).
QStringList switchArguments(const QStringList& arguments);

// The files from index `first` on: edition switches before a "--" are not
// files, "--" itself is dropped, everything after it is a file whatever it
// looks like.
QStringList fileArguments(const QStringList& arguments, int first);
