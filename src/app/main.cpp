#include "WorkerModes.h"
#include "core/PdfDocument.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>

int main(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

  if (args.size() > 1 && args.at(1).startsWith(QLatin1String("--ulvo-")) &&
      !args.at(1).startsWith(QLatin1String("--ulvo-product"))) {
    // Worker modes need no display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("ulvo"));
    if (std::optional<int> code = runWorkerMode(args)) return *code;
  }

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("ulvo"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.6"));

  // Until the main window exists: show the first page of the first file named.
  QScrollArea area;
  auto* page = new QLabel;
  page->setAlignment(Qt::AlignCenter);
  PdfDocument document;
  QString file;
  for (int i = 1; i < args.size() && file.isEmpty(); ++i)
    if (!args.at(i).startsWith(QLatin1String("--"))) file = args.at(i);
  if (file.isEmpty())
    page->setText(QStringLiteral("Главное окно пока недоступно. Укажите PDF-файл в командной строке."));
  else if (!document.open(file))
    page->setText(QStringLiteral("Не удалось открыть файл: %1").arg(document.lastError()));
  else
    page->setPixmap(QPixmap::fromImage(document.renderPage(0, 1.5, 0)));
  area.setWidget(page);
  area.setWidgetResizable(true);
  area.resize(960, 1100);
  area.setWindowTitle(QStringLiteral("ulvo"));
  area.show();
  return app.exec();
}
