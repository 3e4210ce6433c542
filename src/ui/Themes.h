#pragma once
// The light and dark themes: style sheets made at build time from one
// template (cmake/Themes.cmake) and built into this library's resources. They
// style the window and every feature's dialogs by object name.

#include <QString>

// ":/resources/styles/dark.qss" or ":/resources/styles/light.qss".
QString themeStyleSheetPath(bool dark);

// Makes the style sheet at `path` the application's, with the base font it is
// drawn in; a sheet that cannot be read changes nothing.
void applyStyleSheetFile(const QString& path);
