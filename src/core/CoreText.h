#pragma once
// A message of the core, written in Russian, in the interface language once
// the program has installed its translations (the window and the worker modes
// do); without them, as written. Numbers and names are filled in after.

#include <QCoreApplication>
#include <QString>

inline QString coreText(const char* source) { return QCoreApplication::translate("ulvo", source); }
