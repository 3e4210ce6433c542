#pragma once
// The style sheet of the editor dialog and of its tolerance dialog.

#include <QString>

QString facsimileEditorStyleSheet();
