#pragma once
// The interface language: its code, the remembered Russian source texts of
// widgets, the order of the language list and the translation entry points.

#include <QPair>
#include <QString>

class QObject;
class QWidget;

// Lower-case code of the interface language ("ru", "en", "pt", ...).
QString currentUiLanguageCode();

// The text stored in the object's property, storing current there first when
// the property does not exist yet; so the first text seen is kept.
QString rememberedText(QObject* object, const char* property, const QString& current);

// Russian first, English second, then the others by native name.
bool uiLanguageComesBefore(const QPair<QString, QString>& a, const QPair<QString, QString>& b);

// A Russian source text in the interface language. Until a translation table
// is linked every text stays Russian.
QString uiTranslate(const QString& text);

// Translates a widget tree from its remembered Russian texts.
void localizeWidgetTree(QWidget* widget);
