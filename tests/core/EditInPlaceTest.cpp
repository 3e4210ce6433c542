// An edited line takes its old line's place in what the page draws: what the
// page drew after it still covers it, a line the page does not show stays
// unshown, and the words taken out leave the file. Judged by poppler's
// pixels and text, MuPDF's text and qpdf's expansion of the saved file.
#include "HandWrittenPdf.h"
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PageContentEdit.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace testsupport;

namespace {

const QByteArray kPatient = "Patient name: JOHN SMITH, age 42, room 7.";

// One page of `content`: /F1 Helvetica (`font` more entries of its
// dictionary), `resources` more entries of its resources, `objects`
// numbered from 6, `entries` more of its dictionary.
bool writePage(const QString& path, const QByteArray& content, const QByteArray& resources = {},
               const QStringList& objects = {}, const QByteArray& entries = {}, const QByteArray& font = {}) {
  return handwritten::writePdf(
      path, QStringList{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font "
                        "<< /F1 5 0 R >> " + resources + " >> " + entries + " >>",
                        handwritten::stream(content),
                        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding " + font +
                            ">>"} +
                objects);
}

// A map that reads r to z as control codes: as nothing.
QString brokenMap() {
  return handwritten::stream("/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Broken def "
                             "1 begincodespacerange <00> <FF> endcodespacerange 1 beginbfrange <72> <7A> <0092> "
                             "endbfrange endcmap CMapName currentdict /CMap defineresource pop end end");
}

// A form object 6 of the page's size; it can draw itself as /Fs.
QString form(const QByteArray& content) {
  return handwritten::stream(content, "/Type /XObject /Subtype /Form /BBox [0 0 595 842] /Resources << /Font << "
                                      "/F1 5 0 R >>" + QByteArray(content.contains("/Fs") ? " /XObject << /Fs 6 0 R >>" : "") + " >>");
}

// The line holding `word` on page 1 of `input` becomes `text` (deleted when
// empty), moved `by` (shown page, y up), and the file is saved as `saved`;
// false with the message when the edit is refused.
bool editLine(const QString& input, const QString& word, const QString& text, const QString& saved,
              QString* message = nullptr, const QPointF& by = {}) {
  PdfDocument doc;
  if (!doc.open(input)) return false;
  std::vector<TextBlock> blocks = doc.extractText(0);
  const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.contains(word); });
  if (it == blocks.end()) {
    if (message) *message = "no line holds " + word;
    return false;
  }
  if (text.isEmpty()) {
    TextBlock removal;
    removal.page = it->page;
    removal.originalRect = removal.rect = it->originalRect;
    removal.textEdited = true;
    *it = removal;
  } else {
    it->text = text;
    it->textEdited = true;
    it->rect.translate(by);
    for (TextBlock::Line& line : it->lines) line.rect.translate(by);
  }
  const bool done = doc.overlayOcrText(0, blocks, false) && doc.save(saved);
  if (message) *message = doc.lastError();
  return done;
}

// The saved file with every stream decoded, as any tool may read it.
QByteArray expanded(const QString& file) {
  QTemporaryDir dir;
  const QString out = dir.filePath("qdf.pdf");
  if (runTool("qpdf", {"--qdf", "--object-streams=disable", file, out}) > 2) return {};
  QFile read(out);
  return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
}

// Page 1's content streams, decoded by qpdf, one after another.
QByteArray pageContent(const QString& file) {
  QByteArray pages, content;
  runTool("qpdf", {"--show-pages", file}, &pages);
  static const QRegularExpression stream(QStringLiteral("^\\s+(\\d+) 0 R$"), QRegularExpression::MultilineOption);
  const qsizetype second = pages.indexOf("page 2");
  for (auto it = stream.globalMatch(QString::fromLatin1(second < 0 ? pages : pages.left(second))); it.hasNext();) {
    QByteArray data;
    runTool("qpdf", {"--show-object=" + it.next().captured(1), "--filtered-stream-data", file}, &data);
    content += data + "\n";
  }
  return content;
}

class EditInPlace : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdftotext") || !hasTool("pdftoppm") || !hasTool("qpdf") || !hasTool("mutool"))
      GTEST_SKIP() << "poppler-utils, qpdf or mupdf-tools missing";
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

}  // namespace

// A grey box drawn after the line over "JOHN SMITH": the line edited
// elsewhere is drawn under it again, on the page, between the line's two
// shows, under a scale left by cm, and inside a form.
TEST_F(EditInPlace, WhatWasDrawnOverALineStillCoversItsNewText) {
  const QString probe = path("probe.pdf");
  ASSERT_TRUE(writePage(probe, "BT /F1 14 Tf 72 700 Td (" + kPatient + ") Tj ET\n"));
  const QList<QRectF> john = oracles::wordBoxes(probe, 0, "JOHN", 842), smith = oracles::wordBoxes(probe, 0, "SMITH,", 842);
  const QList<QRectF> age = oracles::wordBoxes(probe, 0, "age", 842);
  ASSERT_FALSE(john.isEmpty() || smith.isEmpty() || age.isEmpty());
  const QRectF box = john[0].united(smith[0]).adjusted(-3, -3, 3, 3);
  const auto number = [](double v) { return QByteArray::number(v, 'f', 2); };
  const QByteArray cover = "q 0.8 g " + number(box.x()) + " " + number(box.y()) + " " + number(box.width()) + " " +
                           number(box.height()) + " re f Q\n";
  // The line in two shows, the box drawn between them: the new line goes
  // where the first one stood, under the box.
  const QByteArray split = "BT /F1 14 Tf 72 700 Td (Patient name: JOHN SMITH,) Tj ET\n" + cover + "BT /F1 14 Tf " +
                           number(age[0].x()) + " 700 Td (age 42, room 7.) Tj 0 -30 Td (Ward B next) Tj ET\n";
  // The next line rides on the edited one's line matrix.
  const QByteArray line = "BT /F1 14 Tf 72 700 Td (" + kPatient + ") Tj 0 -30 Td (Ward B next) Tj ET\n";
  // The halved copy, drawn under 2 0 0 2 cm, lands where the plain one does.
  const QByteArray half = "BT /F1 7 Tf 36 350 Td (" + kPatient + ") Tj 0 -15 Td (Ward B next) Tj ET\n";
  const QByteArray halfCover = "q 0.8 g " + number(box.x() / 2) + " " + number(box.y() / 2) + " " +
                               number(box.width() / 2) + " " + number(box.height() / 2) + " re f Q\n";
  const struct {
    const char* name;
    QByteArray content;
    QStringList objects;
  } cases[] = {
      {"on the page", line + cover, {}},
      {"between the line's two shows", split, {}},
      {"under a scale", "2 0 0 2 0 0 cm\n" + half + halfCover, {}},
      {"inside a form", "q /Fx Do Q\n", {form("q 1 0 0 1 0 0 cm " + line + " Q " + cover)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = path("covered.pdf"), saved = path("covered-saved.pdf");
    ASSERT_TRUE(writePage(input, c.content, "/XObject << /Fx 6 0 R >>", c.objects));
    QString message;
    ASSERT_TRUE(editLine(input, "JOHN", QString::fromLatin1(kPatient).replace("42", "43"), saved, &message))
        << message.toStdString();
    const QString text = oracles::pageText(saved, 0);
    EXPECT_TRUE(text.contains("age 43") && !text.contains("42")) << text.toStdString();
    EXPECT_TRUE(oracles::mupdfReading(saved, 0).text.contains("age 43"));
    EXPECT_EQ(oracles::wordBoxes(saved, 0, "Ward", 842), oracles::wordBoxes(input, 0, "Ward", 842));
    const QImage shown = oracles::renderWithPoppler(saved, 0, 100);
    EXPECT_EQ(oracles::inkIn(shown, box.adjusted(1, 1, -1, -1), 842, 100), 0) << "the name shows through its cover";
    EXPECT_GT(oracles::inkIn(shown, oracles::wordBoxes(saved, 0, "43,", 842).value(0), 842, 100), 0);
    EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
    EXPECT_EQ(pageContent(saved).count(" Do"), pageContent(input).count(" Do")) << "a form drawn again";
  }
}

// A form drawing with the page's fonts, which page 2 lends it a look-alike
// of whose letters read Q: an edit of page 1 keeps the very font page 1 named.
TEST_F(EditInPlace, AnEditKeepsTheFontsThePageNamed) {
  const QString input = path("fonts.pdf"), saved = path("fonts-saved.pdf");
  const QString font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding %1 0 R >>";
  const QString page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R /Resources << /Font "
                       "<< /F1 12 0 R /F2 %2 0 R >> /XObject << /Fx 10 0 R >> >> >>";
  ASSERT_TRUE(handwritten::writePdf(
      input, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
              page.arg(5).arg(7), page.arg(6).arg(8),
              handwritten::stream("BT /F1 14 Tf 72 700 Td (Amount due 4200 euro) Tj ET\n/Fx Do\n"),
              handwritten::stream("/Fx Do\n"), font.arg(9), font.arg(11),
              "<< /Type /Encoding /Differences [65 /A /B /C] >>",
              handwritten::stream("BT /F2 14 Tf 72 600 Td (ABC shared form) Tj ET",
                                  "/Type /XObject /Subtype /Form /BBox [0 0 595 842]"),
              "<< /Type /Encoding /Differences [65 /Q /Q /Q] >>",
              "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"}));
  ASSERT_TRUE(oracles::pageText(input, 1).contains("QQQ shared form"));
  ASSERT_TRUE(editLine(input, "Amount", "Amount due 9100 euro", saved));
  EXPECT_TRUE(oracles::pageText(saved, 0).contains("ABC shared form")) << oracles::pageText(saved, 0).toStdString();
  EXPECT_TRUE(oracles::pageText(saved, 1).contains("QQQ shared form"));
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
}

// A form drawn twice, one drawing losing a show and the other nothing: the
// first draws from a copy, the other keeps the form's name and every word.
// An edit of a line copies every drawing that holds text, to set its shows
// again, so the drops are made by hand here.
TEST_F(EditInPlace, AFormDrawnTwiceKeepsTheDrawingThatLosesNothing) {
  const QString input = path("twice.pdf"), saved = path("twice-saved.pdf");
  ASSERT_TRUE(writePage(input, "/Fx Do\nq 1 0 0 1 0 -300 cm /Fx Do Q\n", "/XObject << /Fx 6 0 R >>",
                        {form("BT /F1 14 Tf 72 700 Td (Form line edited) Tj 0 -30 Td (Other words kept) Tj ET\n")}));
  QFile file(input);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  PageContentEdit edit;
  QByteArray marked, edited;
  QString message;
  ASSERT_TRUE(edit.begin(file.readAll(), 0, false, &marked, &message)) << message.toStdString();
  ContentDrops drops;
  drops.forms[0].ids = {0};  // the first show of the first drawing
  ASSERT_TRUE(edit.finish(drops, {}, &edited, &message)) << message.toStdString();
  QFile out(saved);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(edited) == edited.size());
  out.close();
  const auto lower = [](const QString& file) {
    QStringList found;  // word@x,y
    for (const auto& [word, box] : oracles::pageWords(file, 0, 842))
      if (box.y() < 500) found << word + QStringLiteral("@%1,%2").arg(box.x(), 0, 'f', 1).arg(box.y(), 0, 'f', 1);
    return found.join(QLatin1Char(' '));
  };
  EXPECT_EQ(lower(saved), lower(input));
  EXPECT_EQ(oracles::pageText(saved, 0).count("edited"), 1);
  EXPECT_EQ(oracles::pageText(saved, 0).count("kept"), 2);
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
}

// Spacing, scaling and rise that the page set for the edited line stay with
// the glyphs it keeps and reach none of the typed words: those come out as
// the same edit of a plain line writes them, and the line drawn after it
// stays where it was.
TEST_F(EditInPlace, TheTextStateOfTheOldLineStaysWithItsGlyphsOnly) {
  const QByteArray after = "BT /F1 14 Tf 72 600 Td (Kept line stays in place and reaches far to the right) Tj ET\n";
  const auto edited = [&](const QByteArray& content, const QString& name) {
    const QString input = path(name + ".pdf"), saved = path(name + "-saved.pdf");
    QString message;
    EXPECT_TRUE(writePage(input, content + after));
    EXPECT_TRUE(editLine(input, "Amount", "Amount 9100", saved, &message)) << message.toStdString();
    EXPECT_EQ(oracles::wordBoxes(saved, 0, "Kept", 842), oracles::wordBoxes(input, 0, "Kept", 842));
    // The glyphs of "Amount" span what they spanned (poppler may read them as letters now).
    const QRectF typed = oracles::wordBoxes(saved, 0, "9100", 842).value(0);
    QRectF kept;
    for (const auto& [word, box] : oracles::pageWords(saved, 0, 842))
      if (box.right() <= typed.left() && std::abs(box.center().y() - typed.center().y()) < 7) kept |= box;
    const QRectF amount = oracles::wordBoxes(input, 0, "Amount", 842).value(0);
    EXPECT_NEAR(kept.left(), amount.left(), 0.01);
    EXPECT_NEAR(kept.right(), amount.right(), 0.01);
    return typed;
  };
  const QRectF plain = edited("BT /F1 14 Tf 72 700 Td (Amount due 4200 euro) Tj ET\n", "plain");
  ASSERT_FALSE(plain.isEmpty());
  for (const QByteArray& state : {QByteArray("2 Tc 150 Tz 72 700 Td"), QByteArray("6 Ts 72 694 Td")}) {
    SCOPED_TRACE(state.constData());
    const QRectF typed = edited("q BT /F1 14 Tf " + state + " (Amount due 4200 euro) Tj ET Q\n", "state");
    EXPECT_NEAR(typed.width(), plain.width(), 0.5);
    EXPECT_NEAR(typed.top(), plain.top(), 0.5);
    EXPECT_NEAR(typed.bottom(), plain.bottom(), 0.5);
  }
}

// The text layer of a scan lies under its picture, drawn with 3 Tr: an
// edited word changes what search finds, not one pixel of the page. Where
// one show draws two columns, the one not edited stays searchable.
TEST_F(EditInPlace, AnEditedLineThePageDoesNotShowStaysUnshown) {
  for (const QByteArray& layer : {QByteArray("(Scanned words under picture) Tj"),
                                  QByteArray("[(Scanned words under picture) -15000 (Second column kept)] TJ")}) {
    SCOPED_TRACE(layer.constData());
    const QString input = path("scan.pdf"), saved = path("scan-saved.pdf");
    ASSERT_TRUE(writePage(input, "BT 3 Tr /F1 14 Tf 72 700 Td " + layer + " ET\n"
                                 "q 300 0 0 40 60 690 cm BI /W 2 /H 2 /CS /G /BPC 8 /F /AHx ID 80C0A0FF> EI Q\n"));
    ASSERT_TRUE(editLine(input, "Scanned", "Scanned terms under picture", saved));
    const QString text = oracles::pageText(saved, 0);
    EXPECT_TRUE(text.contains("terms") && !text.contains("words")) << text.toStdString();
    EXPECT_EQ(text.contains("Second column kept"), layer.contains("Second")) << text.toStdString();
    EXPECT_EQ(oracles::renderWithPoppler(saved, 0, 72), oracles::renderWithPoppler(input, 0, 72));
  }
}

// Deleted words leave the file and every drawing the user sees, whatever
// drew them (a line used as a clip, a form an annotation's appearance draws
// too); where the edit cannot take them out it is refused with its reason
// and nothing is written.
TEST_F(EditInPlace, DeletedWordsLeaveTheFileOrTheEditIsRefused) {
  const QByteArray kept = "BT /F1 14 Tf 72 500 Td (Kept line stays) Tj ET\n";
  const QByteArray secret = "BT /F1 14 Tf 72 700 Td (SECRET plan words) Tj ET\n";
  const QString stamp = "<< /Type /Annot /Subtype /Stamp /Rect [0 0 595 842] /F 4 /AP << /N %1 0 R >> >>";
  const struct {
    const char* name;
    QByteArray content;
    QStringList objects;
    bool refusable;
    QByteArray annots = {};
    QByteArray font = {};
  } cases[] = {
      // The clip stays to the end of the page.
      {"a line used as a clip", kept + "BT 7 Tr /F1 24 Tf 72 700 Td (SECRET plan words) Tj ET 0.1 0.2 0.7 rg 60 690 400 40 re f\n",
       {}, true},
      {"a form an appearance draws", kept + "/Fx Do\n",
       {form(secret), stamp.arg(8), handwritten::stream("/Fx Do", "/Type /XObject /Subtype /Form /BBox [0 0 595 842] "
                                                                 "/Resources << /XObject << /Fx 6 0 R >> >>")},
       true, "/Annots [7 0 R]"},
      {"a form that is an appearance", kept + "/Fx Do\n", {form(secret), stamp.arg(6)}, true, "/Annots [7 0 R]"},
      {"a form drawn once", kept + "/Fx Do\n", {form("BT /F1 14 Tf 72 650 Td (Form line stays) Tj ET\n" + secret)}, false},
      {"words run together", "BT /F1 14 Tf 72 700 Td (SECRET plan words) Tj ETBT /F1 14 Tf 72 500 Td (Kept line stays) Tj ET",
       {}, true},
      {"an unknown operator", secret + "1 2 zz\n" + kept, {}, true},
      {"a form drawing itself", kept + "/Fx Do\n",
       {form(secret + "q 1 0 0 1 0 -20 cm /Fs Do Q\n")}, true},
      // A map that reads r to z as control codes: the unread end of the line
      // belongs to no other line and goes with it.
      {"letters a broken map cannot read", "BT /F1 14 Tf 72 700 Td (SECRET plan rust) Tj ET\n" + kept,
       {brokenMap()}, false, {}, "/ToUnicode 6 0 R"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = path("secret.pdf"), saved = path("secret-saved.pdf");
    QFile::remove(saved);
    ASSERT_TRUE(writePage(input, c.content, "/XObject << /Fx 6 0 R >>", c.objects, c.annots, c.font));
    QString message;
    if (!editLine(input, "SECRET", QString(), saved, &message)) {
      EXPECT_TRUE(c.refusable) << message.toStdString();
      EXPECT_FALSE(message.isEmpty());
      EXPECT_FALSE(QFile::exists(saved));
      continue;
    }
    EXPECT_FALSE(expanded(saved).contains("SECRET"));
    EXPECT_FALSE(oracles::mupdfReading(saved, 0).text.contains("SECRET"));
    EXPECT_EQ(oracles::pageText(saved, 0).contains("Kept line stays"), oracles::pageText(input, 0).contains("Kept line stays"));
  }
}

// Content that leaves a text object open, or holds what is no operator:
// every reader reads the new line and what the page kept, without a
// complaint the input did not cause.
TEST_F(EditInPlace, BrokenTextObjectsDoNotHideTheNewLine) {
  for (const QByteArray& content :
       {QByteArray("BT /F1 14 Tf 72 700 Td (Open line here) Tj 0 -40 Td (Second line kept) Tj"),
        QByteArray("BT /F1 14 Tf 72 700 Td (Open line here) Tj 5 zz ET BT /F1 14 Tf 72 660 Td (Second line kept) Tj ET")}) {
    SCOPED_TRACE(content.constData());
    const QString input = path("open.pdf"), saved = path("open-saved.pdf");
    ASSERT_TRUE(writePage(input, content));
    QString message;
    ASSERT_TRUE(editLine(input, "Open", "Changed line okapi", saved, &message)) << message.toStdString();
    EXPECT_EQ(oracles::editReadBackFault(input, saved, "okapi", QRectF(72, 695, 200, 20), QSizeF(595, 842)), QString());
    // Readers forgive a text object left open; the file closes each all the same.
    const QByteArray written = pageContent(saved);
    static const QRegularExpression begin(QStringLiteral("\\bBT\\b")), end(QStringLiteral("\\bET\\b"));
    EXPECT_EQ(QString::fromLatin1(written).count(begin), QString::fromLatin1(written).count(end)) << written.constData();
    for (const auto& reading : {oracles::popplerReading(saved, 0), oracles::mupdfReading(saved, 0)})
      EXPECT_TRUE(reading.text.contains("Second line kept")) << reading.text.toStdString();
  }
}

// A deleted show no longer moves the pen, but what moved with it does: the
// next line of ' and ", the spacings " sets, and a show kept after it on its
// line, raised, stay where they stood.
TEST_F(EditInPlace, WhatADeletedShowMovedStaysWhereItStood) {
  const struct {
    QByteArray content;
    QStringList kept;
  } cases[] = {
      {"BT /F1 14 Tf 20 TL 72 700 Td (First line kept) Tj (Second line gone) ' (Third line kept) ' ET", {"Third"}},
      {"BT /F1 14 Tf 20 TL 72 700 Td (First line kept) Tj 6 2 (Second line gone) \" 0 -20 Td (Third well spaced) Tj ET",
       {"Third", "well", "spaced"}},
      // Raised onto a line of its own, it is no part of the deleted one.
      {"BT /F1 14 Tf 72 600 Td (Second line gone) Tj 40 Ts [-2000 (Right raised stays)] TJ ET", {"Right", "raised"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.constData());
    const QString input = path("moves.pdf"), saved = path("moves-saved.pdf");
    ASSERT_TRUE(writePage(input, c.content));
    QString message;
    ASSERT_TRUE(editLine(input, "Second", QString(), saved, &message)) << message.toStdString();
    EXPECT_FALSE(oracles::pageText(saved, 0).contains("gone"));
    for (const QString& word : c.kept) {
      const QList<QRectF> before = oracles::wordBoxes(input, 0, word, 842), after = oracles::wordBoxes(saved, 0, word, 842);
      ASSERT_EQ(before.size(), 1);
      ASSERT_EQ(after.size(), 1) << word.toStdString();
      EXPECT_NEAR(after[0].x(), before[0].x(), 0.3) << word.toStdString();
      EXPECT_NEAR(after[0].y(), before[0].y(), 0.3) << word.toStdString();
    }
  }
}

// A line dragged where the page clips or covers it otherwise shows whole at
// its new place: under a box the page paints after it, and half out of the
// clip it was drawn through (no plain rectangle, which readers drop around
// what lies inside it).
TEST_F(EditInPlace, AMovedLineShowsWholeWhereItWasMoved) {
  const QByteArray line = "BT /F1 14 Tf 72 700 Td (Moved line here) Tj ET\n";
  for (const QByteArray& content :
       {line + "q 0.8 g 300 690 200 30 re f Q\n",
        "q 60 690 m 400 690 l 410 705 l 400 720 l 60 720 l h W n " + line + "Q\n"}) {
    SCOPED_TRACE(content.constData());
    const QString input = path("moved.pdf"), saved = path("moved-saved.pdf");
    ASSERT_TRUE(writePage(input, content));
    QString message;
    ASSERT_TRUE(editLine(input, "Moved", "Moved line here", saved, &message, {250, 0})) << message.toStdString();
    EXPECT_EQ(oracles::pageText(saved, 0).simplified(), "Moved line here");
    const QRectF was(70, 694, 130, 20);
    const int ink = oracles::inkIn(oracles::renderWithPoppler(input, 0, 100), was, 842, 100);
    const QImage shown = oracles::renderWithPoppler(saved, 0, 100);
    EXPECT_EQ(oracles::inkIn(shown, was, 842, 100), 0);
    EXPECT_GT(oracles::inkIn(shown, was.translated(250, 0), 842, 100), ink * 9 / 10);
  }
}

// A longer word typed over the middle word of a right-to-left line: the
// word left of it makes room, and the blanks stay as wide, to the width of
// the line's first letter (the line is narrowed into its box as a whole).
TEST_F(EditInPlace, ALongerWordInARightToLeftLineKeepsTheBlanksAsWide) {
  const QString input = path("hebrew.pdf"), saved = path("hebrew-saved.pdf");
  ASSERT_TRUE(writeDrawnPdf(input, 1, {595, 842}, 14, [](QPainter& painter, int) {
    painter.drawText(QPointF(300, 200), QStringLiteral("ירח שמש כוכב"));
  }));
  // Poppler boxes each letter of the line: the blanks are the gaps between them.
  const auto blanks = [](const QString& file) {
    QList<QRectF> letters;
    for (const auto& [word, box] : oracles::pageWords(file, 0, 842)) letters << box;
    std::sort(letters.begin(), letters.end(), [](const QRectF& a, const QRectF& b) { return a.left() < b.left(); });
    QList<double> widths;
    for (qsizetype i = 1; i < letters.size(); ++i)
      if (const double gap = letters[i].left() - letters[i - 1].right(); gap > 0.2 * letters.last().width())
        widths << gap / letters.last().width();
    return widths;
  };
  QString message;
  ASSERT_TRUE(editLine(input, QStringLiteral("שמש"), QStringLiteral("ירח שמשוןהגיבור כוכב"), saved, &message))
      << message.toStdString();
  EXPECT_EQ(oracles::pageText(saved, 0).simplified().remove(QChar(0x202B)).remove(QChar(0x202C)),
            QStringLiteral("ירח שמשוןהגיבור כוכב"));
  const QList<double> was = blanks(input), now = blanks(saved);
  ASSERT_EQ(was.size(), 2);
  ASSERT_EQ(now.size(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(now[i], was[i], 0.1 * was[i]);
}

// Enter at the start of a line adds an empty line above it, Enter inside a
// line drawn by one show splits it: every glyph stays the page's own
// (MuPDF's fonts), the line or its second half a line lower.
TEST_F(EditInPlace, LinesThatEnterPushesDownKeepTheirGlyphs) {
  const QString input = path("enter.pdf"), saved = path("enter-saved.pdf");
  ASSERT_TRUE(writePage(input, "BT /F1 14 Tf 72 700 Td (The help command opens the online manual.) Tj ET\n"
                               "BT /F1 14 Tf 72 600 Td (Another block below it.) Tj ET\n"));
  const QString text = oracles::pageText(input, 0).simplified();
  for (const auto& [word, edited, pushed] : {std::tuple("help", "\nThe help command opens the online manual.", "The"),
                                             std::tuple("Another", "Another block\nbelow it.", "below")}) {
    SCOPED_TRACE(edited);
    QString message;
    ASSERT_TRUE(editLine(input, word, edited, saved, &message)) << message.toStdString();
    EXPECT_EQ(oracles::pageText(saved, 0).simplified(), text);
    QStringList fonts;
    for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) fonts << g.font;
    fonts.removeDuplicates();
    EXPECT_EQ(fonts.join(' ').toStdString(), "Helvetica");
    EXPECT_LT(oracles::wordBoxes(saved, 0, pushed, 842).value(0).y(),
              oracles::wordBoxes(input, 0, pushed, 842).value(0).y() - 10);
  }
}

// A show whose spacings set a glyph back: the page shows "4217" from the
// codes 4, 1, 2, 7, and the program reads it "4 12 7". A "1" replaced where
// it is read never takes the "2" with it.
TEST_F(EditInPlace, AShowThatSetsAGlyphBackLosesOnlyTheReplacedOne) {
  const QString input = path("back.pdf"), saved = path("back-saved.pdf");
  ASSERT_TRUE(writePage(input, "BT /F1 14 Tf 72 700 Td (Amount ) Tj [(4) -556 (1) 1112 (2) -556 (7)] TJ ( euro) Tj ET\n"));
  QString message;
  ASSERT_TRUE(editLine(input, "Amount", "Amount 4 92 7 euro", saved, &message)) << message.toStdString();
  EXPECT_EQ(oracles::pageText(saved, 0).simplified().toStdString(), "Amount 4 92 7 euro");
}

// Glyphs a broken map reads as nothing stay as drawn, in the line's order: a
// retyped last word goes before them, an added word after them.
TEST_F(EditInPlace, GlyphsABrokenMapReadsAsNothingStayWithTheirLine) {
  const QString input = path("unread.pdf"), saved = path("unread-saved.pdf");
  // The last, edited again: the glyphs its first edit set apart in a show of their own still end it.
  for (const auto& [line, typed, shown] : {std::tuple{"Line plan, r,u,s,t", "Line plan, ,,, okapi", "Line plan, r,u,s,t okapi"},
                                           {"Line plan rust", "Line plot", "Line plot rust"},
                                           {"", "Line plot okapi", "Line plot rust okapi"}}) {
    if (*line)
      ASSERT_TRUE(writePage(input, "BT /F1 14 Tf 72 700 Td (" + QByteArray(line) + ") Tj ET\n", {}, {brokenMap()}, {},
                            "/ToUnicode 6 0 R"));
    else
      ASSERT_TRUE(QFile::remove(input) && QFile::copy(saved, input));
    ASSERT_TRUE(editLine(input, "Line", typed, saved));
    QString drawn;
    double x = 0;
    for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(saved, 0)) {
      drawn += g.glyph.size() == 1 ? g.glyph : g.glyph == "comma" ? QStringLiteral(",") : QStringLiteral(" ");
      EXPECT_GT(g.at.x(), x + 1) << drawn.toStdString();
      x = g.at.x();
    }
    EXPECT_EQ(drawn, shown);
  }
}
