#pragma once
// Device options by name, each read and written the way its descriptor says:
// a fixed-point option takes SANE_FIX values, an integer one plain words,
// and a constrained one only what its word list, range or string list allows.

#include <sane/sane.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Index of the first option with this name, or -1 (also for an option count
// below 2).
int findSaneOption(SANE_Handle handle, const char* name);

// Sets a boolean, integer or fixed-point option to the allowed value nearest
// to `value`: the closest word of a word list, or the value clamped into a
// range and rounded to its step. False when the option is missing, inactive,
// not settable or refused.
bool setSaneNumber(SANE_Handle handle, const char* name, double value);
// The current value of a numeric option.
std::optional<double> saneNumber(SANE_Handle handle, const char* name);
// The numbers of a word-list constraint, in the device's order; nullopt when
// the option is missing or not constrained by a word list.
std::optional<QList<double>> saneWordList(SANE_Handle handle, const char* name);

// The unit an option declares (SANE_UNIT_NONE when it is missing).
SANE_Unit saneUnit(SANE_Handle handle, const char* name);

// Sets a string option; a string-list option only to one of its entries.
bool setSaneString(SANE_Handle handle, const char* name, const QString& value);
// The entries of a string-list constraint (empty when there is none).
QStringList saneStringList(SANE_Handle handle, const char* name);

// The entry of a "source" list that scans flatbed, one side from the feeder
// (a front source before a back one) or both sides; empty when none does.
QString pickSaneSource(const QStringList& sources, bool feeder, bool duplex);

// How far the scan area's far edge lies from its near one, in the unit the
// geometry options declare: millimetres as they are, pixels at `dpi`.
double saneAreaExtent(double millimetres, SANE_Unit unit, double dpi);
