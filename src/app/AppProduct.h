#pragma once
// The three editions one executable serves, and what each may do.

#include <QString>
#include <QStringList>

enum class AppProduct { Editor = 0, Viewer = 1, Ecp = 2 };

// The edition chosen by the "--ulvo-product=" switches: the last exact match
// wins, the editor when none matches.
AppProduct productFromArguments(const QStringList& arguments);

// Each edition keeps its own settings under its own application name.
QString productApplicationName(AppProduct product);
QString productDisplayName(AppProduct product);

// The desktop adds the application's display name to every window title:
// it is set in the interface language, again after each change of language.
void applyProductDisplayName(AppProduct product);

// The capability flags an edition fixes once, when its window is built.
struct ProductCapabilities {
  bool pdfEditing = true;
  bool ocr = true;
  bool signatures = true;
  bool pageEditing = true;
  bool imports = true;
  bool facsimiles = true;
  bool comments = true;
};

ProductCapabilities capabilitiesFor(AppProduct product);
