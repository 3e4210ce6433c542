#pragma once
// The modal dialog through which a workbook becomes page images: sheet,
// paper, orientation and scaling, with a paged preview of the sheet shown.

#include "XlsxMessages.h"
#include "XlsxRecords.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class XlsxPreviewWidget;
struct XlsxPageOptions;

class XlsxImportDialog : public QDialog {
  Q_OBJECT

 public:
  using SheetInfo = XlsxSheetInfo;

  XlsxImportDialog(const QString& path, QWidget* parent = nullptr);
  ~XlsxImportDialog() override;

  // Every page of every sheet, all at once; prefer renderPages for big sheets.
  QList<QImage> buildPages(QSizeF& pageSizePt);
  // Hands the pages to sink one at a time, in order, having set pageSizePt
  // first; stops when sink returns false. Returns the number of pages handed.
  // Refuses, painting nothing, a workbook of more pages than one import may
  // add: returns -1 and pageBoundRefusal() says why.
  int renderPages(QSizeF& pageSizePt, const std::function<bool(const QImage&)>& sink);
  // Why the pages cannot be imported, in the interface language; empty while they can.
  QString pageBoundRefusal() const { return boundRefusal; }

  // What could not be read, in Russian as written; empty when all was read.
  QStringList loadMessages() const;
  // The same in the interface language.
  QStringList loadMessageTexts() const;
  const QList<SheetInfo>& sheetList() const { return sheets; }
  XlsxPreviewWidget* previewWidget() const { return preview; }

 private slots:
  void onPaperChanged(int index);
  void onOrientChanged();
  void onScaleToggled();
  void onSheetSelected(int index);

 private:
  void loadXlsx(const QString& path);
  void refreshPaper();
  void updatePageCountLabel();
  XlsxPageOptions pageOptions() const;
  qint64 pagesOfOtherSheets();
  void updateImportButton(qint64 totalPages);
  void updateColumnCuts();
  int columnsCutOnOtherSheets();

  QList<SheetInfo> sheets;
  std::unique_ptr<XlsxIStyles> styles;
  QList<QToolButton*> sheetButtons;
  XlsxPreviewWidget* preview = nullptr;
  QScrollArea* scrollArea = nullptr;
  QComboBox* paperCombo = nullptr;
  QButtonGroup* orientationGroup = nullptr;
  QCheckBox* fitCheck = nullptr;
  QLabel* pageCountLabel = nullptr;
  QLabel* totalLabel = nullptr;  // pages of all sheets, when others add some
  QLabel* boundLabel = nullptr;  // says why the pages are too many to import
  QLabel* cutLabel = nullptr;    // says how many columns the pages cut off
  QPushButton* importButton = nullptr;
  int currentSheet = 0;
  QSizeF paperPt{595, 842};
  bool landscape = false;
  QList<XlsxMessage> notes;  // what could not be read
  QMap<int, QList<int>> draggedBreaks;  // by sheet index, until the paper changes
  bool placingBreaks = false;           // breaks placed by the dialog, not dragged
  bool anyPage = false;                 // some sheet makes a page
  qint64 otherSheetPages = -1;          // pages of the sheets not shown; -1 until counted
  int otherSheetCutColumns = -1;        // most columns a page of another sheet cuts off; -1 until counted
  QString boundRefusal;
};
