// Times the window's search and the special-characters dialog: a first find
// next over a long document (every page searched), a next step with the same
// query (one page searched again), and opening the characters dialog with its
// "Все" tab, then the first visit of every other tab.
//   ulvo_bench_search [--pages N] [--runs R]
#include "BenchPdf.h"
#include "BenchTiming.h"
#include "MainWindow.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

class BenchWindow : public MainWindow {
 public:
  BenchWindow() : MainWindow(AppProduct::Editor) {}
  using MainWindow::currentSearchIndex;
  using MainWindow::searchSignature;
};

bool writeDocument(const QString& path, int pages) {
  QPdfWriter writer(path);
  QPainter painter;
  if (!beginA4Pdf(writer, painter)) return false;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(11);
  painter.setFont(font);
  for (int page = 0; page < pages; ++page) {
    if (page > 0 && !writer.newPage()) return false;
    for (int line = 0; line < 40; ++line)
      painter.drawText(QPointF(60, 60 + 18 * line),
                       QStringLiteral("Строка %1: договор поставки и приложение к договору, стр. %2.")
                           .arg(line + 1)
                           .arg(page + 1));
  }
  return painter.end();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  int pages = 500;
  int runs = 5;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--pages" && i + 1 < args.size())
      pages = std::max(1, args[++i].toInt());
    else if (args[i] == "--runs" && i + 1 < args.size())
      runs = std::max(1, args[++i].toInt());
  }
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("long.pdf"));
  if (!writeDocument(path, pages)) {
    std::fprintf(stderr, "could not write the document\n");
    return 1;
  }
  BenchWindow window;
  window.resize(1300, 900);
  window.show();
  window.openFile(path);

  const QString query = QStringLiteral("договор");
  const double firstSearch = medianMs(runs, [&] {
    window.searchSignature.clear();  // a new key: every page is searched
    window.onFindNext(query, false, false, false, false);
  });
  const double nextStep = medianMs(runs * 20, [&] { window.onFindNext(query, false, false, false, false); });
  const double wholeWord = medianMs(runs, [&] {
    window.searchSignature.clear();
    window.onFindNext(query, false, true, false, false);
  });

  double allTab = 0;
  double otherTabs = 0;
  allTab = medianMs(runs, [&] {
    window.showSpecialCharactersDialog();
    QDialog* dialog = window.findChildren<QDialog*>().last();
    QApplication::processEvents();
    auto* tabs = dialog->findChild<QTabWidget*>();
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i < tabs->count(); ++i) tabs->setCurrentIndex(i);
    otherTabs = timer.nsecsElapsed() / 1e6;
    delete dialog;
  });
  std::printf("pages %d, runs %d\n", pages, runs);
  std::printf("find next, new query (all pages searched): %.1f ms\n", firstSearch);
  std::printf("find next, same query (one page searched): %.2f ms\n", nextStep);
  std::printf("find next, new whole-word query:           %.1f ms\n", wholeWord);
  std::printf("special characters dialog with its \"Все\" tab: %.1f ms (other four tabs on first view: %.1f ms)\n",
              allTab, otherTabs);
  return 0;
}
