#include "ExportTarget.h"

#include "MainWindow.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QFileInfo>

bool confirmReplacingFile(QWidget* parent, const QString& path) {
  const QString question = uiTranslate(QStringLiteral("Файл «%1» уже существует. Заменить его?"));
  return !QFileInfo::exists(path) ||
         appQuestion(parent, uiTranslate(QStringLiteral("Замена файла")), question.arg(QFileInfo(path).fileName()),
                     uiTranslate(QStringLiteral("Заменить")), uiTranslate(QStringLiteral("Отмена")));
}

bool confirmExportTarget(MainWindow* window, const QString& title, const QString& target) {
  if (window->openDocumentIndexForPath(target) >= 0) {
    appInfo(window, title,
            uiTranslate(QStringLiteral("Файл «%1» открыт во вкладке. Закройте вкладку или выберите другое имя файла."))
                .arg(QFileInfo(target).fileName()));
    return false;
  }
  return !QFileInfo::exists(target) || appQuestion(window, title, QStringLiteral("Файл уже существует. Перезаписать?"),
                                                   QStringLiteral("Перезаписать"), QStringLiteral("Отмена"));
}
