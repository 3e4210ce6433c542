#pragma once
// The compression worker modes: a size forecast of one setting
// ("--ulvo-compression-estimate") and the choice of a setting for a size limit
// ("--ulvo-compression-fit"), which runs the forecasts in parallel child
// processes. Each prints one compact JSON line and returns the exit code.

#include <QStringList>

// args: program, switch, pdf, index, dpi, quality, mono, gray.
// Exit code 0 forecast made, 2 usage error, 3 file not opened, 4 forecast failed.
int runCompressionEstimateCli(const QStringList& args);
// args: program, switch, pdf, target-bytes.
// Exit code 0 a setting was chosen, 2 usage error, 4 no usable forecast.
int runCompressionFitCli(const QStringList& args);
