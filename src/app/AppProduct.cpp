#include "AppProduct.h"

#include "ui/UiLanguage.h"

#include <QGuiApplication>

AppProduct productFromArguments(const QStringList& arguments) {
  AppProduct product = AppProduct::Editor;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("--ulvo-product=editor"))
      product = AppProduct::Editor;
    else if (argument == QLatin1String("--ulvo-product=viewer"))
      product = AppProduct::Viewer;
    else if (argument == QLatin1String("--ulvo-product=ecp"))
      product = AppProduct::Ecp;
  }
  return product;
}

QString productApplicationName(AppProduct product) {
  switch (product) {
    case AppProduct::Viewer: return QStringLiteral("ulvo-pdf-viewer");
    case AppProduct::Ecp: return QStringLiteral("ulvo-ecp");
    default: return QStringLiteral("ulvo-pdf-editor");
  }
}

QString productDisplayName(AppProduct product) {
  switch (product) {
    case AppProduct::Viewer: return QStringLiteral("УЛВО PDF Просмотр");
    case AppProduct::Ecp: return QStringLiteral("УЛВО ЭЦП");
    default: return QStringLiteral("УЛВО PDF Редактор");
  }
}

void applyProductDisplayName(AppProduct product) {
  QGuiApplication::setApplicationDisplayName(uiTranslate(productDisplayName(product)));
}

ProductCapabilities capabilitiesFor(AppProduct product) {
  ProductCapabilities flags;  // the editor, and any unknown value, may do everything
  if (product == AppProduct::Viewer) {
    flags = {false, false, false, false, false, true, true};
  } else if (product == AppProduct::Ecp) {
    flags = {false, false, true, false, false, false, false};
  }
  return flags;
}
