#pragma once
// Command-line worker modes: no window, one JSON object on standard output,
// exit code 0 on success.

#include <QStringList>
#include <optional>

// Runs the worker mode named by args[1], or returns nothing when args name none.
std::optional<int> runWorkerMode(const QStringList& args);
