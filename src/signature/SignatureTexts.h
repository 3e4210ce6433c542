#pragma once
// The signature workflow's Russian source texts, shown in the interface
// language.

#include "ui/UiLanguage.h"

#include <QString>

inline QString uiText(const char* text) { return uiTranslate(QString::fromUtf8(text)); }
