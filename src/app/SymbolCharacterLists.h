#pragma once
// The characters the special-characters dialog offers: four fixed lists and
// the "all" list computed for the font the dialog shows them in.

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class QFontMetrics;

// The fixed tabs, in order: title and characters.
QList<std::pair<QString, QStringList>> fixedSymbolTabs();

// The fixed lists followed by the assigned, visible characters of the
// typographic, symbol and arrow ranges, each once, only those the font has.
QStringList allSymbols(const QFontMetrics& metrics);
