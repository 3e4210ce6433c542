// Hostile packages from a security review, each imported in a child process
// of its own: the dialog is built, shown and its pages are painted, and the
// child's peak memory is read from /proc. Each gives a message or a bounded
// result; none reads outside the package.
#include "TestSupport.h"
#include "XlsxTestSupport.h"
#include "XlsxZipWriter.h"
#include "core/PdfDocument.h"
#include "xlsx/XlsxImportDialog.h"
#include "xlsx/XlsxPreviewWidget.h"

#include <gtest/gtest.h>

#include <ctime>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>

#include <sys/resource.h>

using namespace xlsxtest;

namespace {

constexpr auto kPackageVariable = "ULVO_XLSX_HOSTILE_PACKAGE";
// When set, the pages go into a document saved at this path, as the window's import does.
constexpr auto kSaveVariable = "ULVO_XLSX_HOSTILE_SAVE";

// What the child reports: pages painted, messages, labels read as markup,
// its time and its peak memory.
struct ChildImport {
  bool finished = false;
  int pages = -1;
  QStringList messages;
  QStringList labels;
  QStringList sheetButtons;
  int markupLabels = -1;
  bool importEnabled = true;
  bool saved = false;
  QString refusal;
  double peakMb = -1;
  qint64 milliseconds = -1;  // of the processor's time
  QString output;
};

ChildImport importInChild(const QString& path, const QString& savePath = QString()) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kPackageVariable), path);
  if (!savePath.isEmpty()) environment.insert(QString::fromLatin1(kSaveVariable), savePath);
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_also_run_disabled_tests"),
               QStringLiteral("--gtest_filter=XlsxHostileChild.DISABLED_ImportsOnePackage")});
  ChildImport result;
  // A guard against a hang only; the child reports its own time.
  if (!child.waitForFinished(400000)) {
    child.kill();
    child.waitForFinished();
    return result;
  }
  result.output = QString::fromUtf8(child.readAll());
  for (const QString& line : result.output.split(QLatin1Char('\n'))) {
    if (!line.startsWith(QLatin1String("CHILD "))) continue;
    const QJsonObject report = QJsonDocument::fromJson(line.mid(6).toUtf8()).object();
    result.finished = true;
    result.pages = report.value("pages").toInt(-1);
    for (const auto& m : report.value("messages").toArray()) result.messages << m.toString();
    for (const auto& m : report.value("labels").toArray()) result.labels << m.toString();
    for (const auto& m : report.value("sheetButtons").toArray()) result.sheetButtons << m.toString();
    result.markupLabels = report.value("markupLabels").toInt(-1);
    result.importEnabled = report.value("importEnabled").toBool(true);
    result.saved = report.value("saved").toBool(false);
    result.refusal = report.value("refusal").toString();
    result.peakMb = report.value("peakMb").toDouble(-1);
    result.milliseconds = report.value("milliseconds").toInteger(-1);
  }
  return result;
}

// The child: builds the dialog for the package, shows and paints it, paints
// every page without keeping them, and reports.
TEST(XlsxHostileChild, DISABLED_ImportsOnePackage) {
  const QString path = qEnvironmentVariable(kPackageVariable);
  if (path.isEmpty()) GTEST_SKIP();
  // A runaway read fails in this child instead of exhausting the machine.
  const rlimit limit{rlim_t(2) << 30, rlim_t(2) << 30};
  setrlimit(RLIMIT_AS, &limit);
  XlsxImportDialog dialog(path);
  dialog.show();
  dialog.grab();
  dialog.previewWidget()->grab();
  QSizeF size(-1, -1);
  const QString savePath = qEnvironmentVariable(kSaveVariable);
  PdfDocument document;
  bool appended = true;
  const int pages = dialog.renderPages(size, [&](const QImage& page) {
    appended = savePath.isEmpty() || document.appendRenderedPage(page, size);
    return appended;
  });
  QJsonObject report;
  if (!savePath.isEmpty()) report["saved"] = appended && pages > 0 && document.save(savePath);
  report["refusal"] = dialog.pageBoundRefusal();
  // The processor's time: a busy machine stretches the clock's.
  report["milliseconds"] = qint64(std::clock() / (CLOCKS_PER_SEC / 1000));
  report["pages"] = pages;
  report["messages"] = QJsonArray::fromStringList(dialog.loadMessages());
  QStringList labels;
  int markup = 0;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    labels << label->text();
    if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(label->text())) ++markup;
  }
  report["labels"] = QJsonArray::fromStringList(labels);
  report["markupLabels"] = markup;
  QStringList buttons;
  for (const QToolButton* button : dialog.findChildren<QToolButton*>()) buttons << button->text();
  report["sheetButtons"] = QJsonArray::fromStringList(buttons);
  for (const QPushButton* button : dialog.findChildren<QPushButton*>())
    if (button->text() == QStringLiteral("Импортировать")) report["importEnabled"] = button->isEnabled();
  report["peakMb"] = testsupport::peakResidentMb();
  printf("CHILD %s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
  fflush(stdout);
}

class HostileIsolated : public ::testing::Test {
 protected:
  QString write(const QString& name, const XlsxParts& parts) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeZipParts(path, parts));
    return path;
  }
  // Bounds every hostile package keeps, whatever it holds.
  static void expectBounded(const ChildImport& run) {
    ASSERT_TRUE(run.finished) << run.output.right(3000).toStdString();
    EXPECT_GT(run.peakMb, 0);
    EXPECT_LT(run.peakMb, 300.0) << run.messages.join('\n').toStdString();
    // Generous: the import takes well under ten seconds on an idle machine.
    EXPECT_LT(run.milliseconds, 60000);
    EXPECT_EQ(run.markupLabels, 0) << run.labels.join('\n').toStdString();
    std::printf("  %lld ms, peak %.0f MB, %d pages\n", static_cast<long long>(run.milliseconds), run.peakMb,
                run.pages);
  }
  static bool mentions(const ChildImport& run, const QString& text) {
    return run.messages.join(QLatin1Char('\n')).contains(text);
  }

  QTemporaryDir dir;
};

const QByteArray kKept = "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row></sheetData>";

TEST_F(HostileIsolated, RepeatedAndExternalEntitiesAreRefused) {
  // Ten levels of ten references each: a billion copies of "lol" from 1 KB.
  QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY l0 \"lol\">";
  for (int level = 1; level < 10; ++level) {
    laughs += "<!ENTITY l" + QByteArray::number(level) + " \"";
    for (int i = 0; i < 10; ++i) laughs += "&l" + QByteArray::number(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData><row r=\"1\">"
            "<c r=\"A1\" t=\"inlineStr\"><is><t>&l9;</t></is></c></row></sheetData></worksheet>";
  XlsxParts parts = minimalWorkbook({kKept, kKept});
  for (auto& [name, data] : parts)
    if (name == QLatin1String("xl/worksheets/sheet1.xml")) data = laughs;
  // An external entity naming a file outside the package.
  parts.append({QStringLiteral("xl/sharedStrings.xml"),
                "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY secret SYSTEM \"file:///etc/hostname\">]>"
                "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>&secret;</t></si></sst>"});
  ASSERT_LT(laughs.size(), 4096);
  const ChildImport run = importInChild(write(QStringLiteral("laughs.xlsx"), parts));
  expectBounded(run);
  EXPECT_TRUE(mentions(run, QStringLiteral("Часть «xl/worksheets/sheet1.xml» объявляет тип документа (DTD)")))
      << run.messages.join('\n').toStdString();
  EXPECT_TRUE(mentions(run, QStringLiteral("Часть «xl/sharedStrings.xml» объявляет тип документа (DTD)")));
  // The second sheet is still imported.
  EXPECT_EQ(run.pages, 1);
  EXPECT_EQ(run.sheetButtons, QStringList{QStringLiteral("Sheet2")});
}

TEST_F(HostileIsolated, RepeatedColumnRangesCostOneRange) {
  // 100,000 "col" elements over the whole sheet width, 2.3 MB of XML.
  QByteArray cols = "<cols>";
  for (int i = 0; i < 100000; ++i) cols += "<col min=\"1\" max=\"16384\" width=\"" + QByteArray::number(9 + i % 3) + "\"/>";
  cols += "</cols>";
  const QString path = write(QStringLiteral("cols.xlsx"), minimalWorkbook({cols + kKept}));
  const ChildImport run = importInChild(path);
  expectBounded(run);
  EXPECT_EQ(run.pages, 1);
  // The last range wins and the sheet keeps one range for all its columns.
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 1);
  const XlsxColumnRanges& widths = book.sheets.first().data->colWidths;
  EXPECT_EQ(widths.rangeCount(), 1u);
  ASSERT_NE(widths.find(16383), nullptr);
  EXPECT_EQ(widths.find(0)->width, 9 + 99999 % 3);
}

TEST_F(HostileIsolated, OverlappingMergesOverAWideSheetAreDropped) {
  // Cells at A1 and XFD600 lay out 600 x 16,384 positions; a thousand merges
  // each cover all of them.
  QByteArray body = "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row>"
                    "<row r=\"600\"><c r=\"XFD600\"><v>1</v></c></row></sheetData><mergeCells>";
  for (int i = 0; i < 1000; ++i) body += "<mergeCell ref=\"A1:XFD600\"/>";
  body += "</mergeCells>";
  const QString path = write(QStringLiteral("merges.xlsx"), minimalWorkbook({body}));
  const ChildImport run = importInChild(path);
  expectBounded(run);
  EXPECT_TRUE(mentions(run, QStringLiteral("999 объединённых диапазонов перекрывают другие и пропущены")))
      << run.messages.join('\n').toStdString();
  EXPECT_EQ(run.pages, 1);
}

TEST_F(HostileIsolated, EmptySeriesAndEmptyStringsCostNothing) {
  // A chart part of 90 KB of empty series, anchored two hundred times.
  QByteArray chart = "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:barChart>";
  while (chart.size() < 90 * 1024) chart += "<c:ser/>";
  chart += "<c:ser><c:val><c:numCache><c:pt idx=\"0\"><c:v>5</c:v></c:pt></c:numCache></c:val></c:ser>"
           "</c:barChart></c:chartSpace>";
  QByteArray drawing = "<xdr:wsDr xmlns:xdr=\"d\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
  for (int i = 0; i < 200; ++i)
    drawing += "<xdr:twoCellAnchor><xdr:from><xdr:col>2</xdr:col><xdr:row>0</xdr:row></xdr:from><xdr:to><xdr:col>6"
               "</xdr:col><xdr:row>9</xdr:row></xdr:to><xdr:graphicFrame><c:chart xmlns:c=\"c\" r:id=\"rId1\"/>"
               "</xdr:graphicFrame></xdr:twoCellAnchor>";
  drawing += "</xdr:wsDr>";
  // 147 KB of empty shared strings, each used by a cell far apart from the others.
  QByteArray strings = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  int count = 0;
  while (strings.size() < 147 * 1024) {
    strings += "<si><t/></si>";
    ++count;
  }
  strings += "</sst>";
  QByteArray body = "<sheetData>";
  for (int i = 0; i < count; ++i)
    body += "<row r=\"" + QByteArray::number(i * 80 + 1) + "\"><c r=\"XFD" + QByteArray::number(i * 80 + 1) +
            "\" t=\"s\"><v>" + QByteArray::number(i) + "</v></c></row>";
  body += "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row></sheetData><drawing r:id=\"rId1\"/>";
  XlsxParts parts = minimalWorkbook({body});
  parts.append({QStringLiteral("xl/sharedStrings.xml"), strings});
  parts.append({QStringLiteral("xl/worksheets/_rels/sheet1.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"../drawings/drawing1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/drawings/drawing1.xml"), drawing});
  parts.append({QStringLiteral("xl/drawings/_rels/drawing1.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"../charts/chart1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/charts/chart1.xml"), chart});
  const QString path = write(QStringLiteral("empty.xlsx"), parts);
  const ChildImport run = importInChild(path);
  expectBounded(run);
  EXPECT_EQ(run.pages, 1);
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  ASSERT_EQ(book.sheets.size(), 1);
  // Only the kept cell and the one series with a point remain.
  EXPECT_EQ(book.sheets.first().data->cells.size(), 1);
  ASSERT_EQ(book.sheets.first().charts.size(), 200);
  EXPECT_EQ(book.sheets.first().charts.first().series.size(), 1);
}

TEST_F(HostileIsolated, EveryListOfRecordsHasABound) {
  // 20,000,000 empty shared strings (147 KB packed) and 300,000 empty style
  // records of each kind.
  QByteArray strings = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  strings += QByteArray("<si/>").repeated(20'000'000);
  strings += "</sst>";
  QByteArray styles = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts>";
  for (int i = 0; i < 200'000; ++i) styles += "<numFmt numFmtId=\"" + QByteArray::number(200 + i) + "\" formatCode=\"0\"/>";
  styles += "</numFmts><fonts>" + QByteArray("<font/>").repeated(300'000) + "</fonts><fills>" +
            QByteArray("<fill/>").repeated(300'000) + "</fills><borders>" +
            QByteArray("<border/>").repeated(300'000) + "</borders><cellXfs>" +
            QByteArray("<xf/>").repeated(300'000) + "</cellXfs></styleSheet>";
  QByteArray rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>";
  for (int i = 0; i < 300'000; ++i) rels += "<Relationship Id=\"x" + QByteArray::number(i) + "\" Target=\"a\"/>";
  rels += "</Relationships>";
  XlsxParts parts = minimalWorkbook({kKept}, styles);
  for (auto& [name, data] : parts)
    if (name == QLatin1String("xl/_rels/workbook.xml.rels")) data = rels;
  parts.append({QStringLiteral("xl/sharedStrings.xml"), strings});
  const QString path = write(QStringLiteral("records.xlsx"), parts);
  ASSERT_LT(QFileInfo(path).size(), 2 * 1024 * 1024);
  const ChildImport run = importInChild(path);
  ASSERT_TRUE(run.finished) << run.output.right(3000).toStdString();
  std::printf("  %lld ms, peak %.0f MB\n", static_cast<long long>(run.milliseconds), run.peakMb);
  // The shared strings alone are a part of 100 MB, the most a part may hold,
  // and it is read whole.
  EXPECT_LT(run.peakMb, 400.0);
  EXPECT_LT(run.milliseconds, 10000);
  for (const QString part : {"xl/sharedStrings.xml", "xl/styles.xml", "xl/_rels/workbook.xml.rels"})
    EXPECT_TRUE(mentions(run, QStringLiteral("Часть «%1»: больше").arg(part))) << run.messages.join('\n').toStdString();
  EXPECT_EQ(run.pages, 1);
}

// The window's road: the pages painted one at a time into a document that is
// then saved. Oracles: qpdf and pdfinfo.
TEST_F(HostileIsolated, LongSheetsGoIntoTheDocumentCompressedAndAMillionRowsAreRefused) {
  QByteArray rows = "<sheetData>";
  for (int r = 1; r <= 20000; ++r)
    rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>" +
            QByteArray::number(r) + "</v></c></row>";
  rows += "</sheetData>";
  const QString saved = dir.filePath(QStringLiteral("long.pdf"));
  const ChildImport run = importInChild(write(QStringLiteral("long.xlsx"), minimalWorkbook({rows})), saved);
  ASSERT_TRUE(run.finished) << run.output.right(3000).toStdString();
  std::printf("  20,000 rows: %lld ms, peak %.0f MB, %d pages, %lld KB saved\n",
              static_cast<long long>(run.milliseconds), run.peakMb, run.pages,
              static_cast<long long>(QFileInfo(saved).size() / 1024));
  EXPECT_EQ(run.pages, 378);
  EXPECT_TRUE(run.saved);
  EXPECT_LT(run.peakMb, 600.0);
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), saved}), 0);
  QByteArray info;
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdfinfo"), {saved}, &info), 0);
  EXPECT_TRUE(QString::fromUtf8(info).contains(QRegularExpression(QStringLiteral("Pages:\\s+378\\n"))))
      << info.constData();

  // A1 and J1000000 make 18,868 pages; behind a one-page sheet the dialog
  // counts them too and refuses them before painting any.
  const QByteArray tall = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1000000\">"
                          "<c r=\"J1000000\"><v>2</v></c></row></sheetData>";
  const QString refusedPdf = dir.filePath(QStringLiteral("tall.pdf"));
  const ChildImport refused =
      importInChild(write(QStringLiteral("tall.xlsx"), minimalWorkbook({kKept, tall})), refusedPdf);
  ASSERT_TRUE(refused.finished) << refused.output.right(3000).toStdString();
  std::printf("  A1 and J1000000: %lld ms, peak %.0f MB, %d pages\n", static_cast<long long>(refused.milliseconds),
              refused.peakMb, refused.pages);
  EXPECT_LT(refused.peakMb, 1536.0);
  EXPECT_LT(refused.milliseconds, 300000);
  EXPECT_EQ(refused.pages, -1);
  EXPECT_FALSE(refused.saved);
  EXPECT_FALSE(QFileInfo::exists(refusedPdf));
  EXPECT_FALSE(refused.importEnabled);
  EXPECT_TRUE(refused.refusal.contains(QStringLiteral("Страниц в книге: 18869 — больше, чем можно добавить за один импорт (2000)"))) << refused.refusal.toStdString();
  EXPECT_TRUE(refused.labels.contains(refused.refusal)) << refused.labels.join('\n').toStdString();
  EXPECT_TRUE(refused.labels.contains(QStringLiteral("Страниц: 1"))) << refused.labels.join('\n').toStdString();
  EXPECT_TRUE(refused.labels.contains(QStringLiteral("Всего к импорту: 18869")))
      << refused.labels.join('\n').toStdString();
}

TEST_F(HostileIsolated, AChartAnchoredFarAwayIsLeftOutNotTheSheet) {
  XlsxParts parts = minimalWorkbook({kKept + "<drawing r:id=\"rId1\"/>"});
  parts.append({QStringLiteral("xl/worksheets/_rels/sheet1.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"../drawings/drawing1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/drawings/drawing1.xml"),
                "<wsDr><twoCellAnchor><from><col>0</col><row>0</row></from><to><col>16000</col><row>1000000</row>"
                "</to><graphicFrame><chart r:id=\"rId1\" xmlns:r=\"http://schemas.openxmlformats.org/"
                "officeDocument/2006/relationships\"/></graphicFrame></twoCellAnchor></wsDr>"});
  parts.append({QStringLiteral("xl/drawings/_rels/drawing1.xml.rels"),
                "<Relationships><Relationship Id=\"rId1\" Target=\"../charts/chart1.xml\"/></Relationships>"});
  parts.append({QStringLiteral("xl/charts/chart1.xml"), "<chartSpace><pieChart/></chartSpace>"});
  const ChildImport run = importInChild(write(QStringLiteral("far.xlsx"), parts));
  expectBounded(run);
  EXPECT_TRUE(mentions(run, QStringLiteral("Лист «Sheet1»: диаграммы привязаны далеко за ячейками листа")))
      << run.messages.join('\n').toStdString();
  EXPECT_EQ(run.pages, 1);
}

TEST_F(HostileIsolated, SheetNamesAreShownAsPlainText) {
  // The first sheet's part is missing, so its name appears in the problem
  // list; the second names markup and an ampersand.
  XlsxParts parts = minimalWorkbook({kKept, kKept});
  parts.removeIf([](const auto& part) { return part.first == QLatin1String("xl/worksheets/sheet1.xml"); });
  for (auto& [name, data] : parts)
    if (name == QLatin1String("xl/workbook.xml")) {
      data.replace("name=\"Sheet1\"", "name=\"&lt;img src=/dev/zero&gt;\"");
      data.replace("name=\"Sheet2\"", "name=\"&lt;b&gt;R&amp;D&lt;/b&gt;\"");
    }
  const ChildImport run = importInChild(write(QStringLiteral("names.xlsx"), parts));
  expectBounded(run);
  EXPECT_TRUE(run.labels.join('\n').contains(QStringLiteral("Лист «<img src=/dev/zero>»")))
      << run.labels.join('\n').toStdString();
  // The ampersand is no shortcut marker: it shows as written.
  EXPECT_EQ(run.sheetButtons, QStringList{QStringLiteral("<b>R&&D</b>")});
  EXPECT_EQ(run.pages, 1);
}

}  // namespace
