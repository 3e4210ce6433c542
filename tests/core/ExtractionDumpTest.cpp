// Pins every value native text extraction returns (texts, boxes, line and
// span colours, fonts, flags, words) for the first three pages of each corpus
// file and for pages of a real LaTeX manual, so that a change meant only to
// make extraction faster cannot change what it finds. Each file's full dump
// is kept as one SHA-256 in tests/core/data/extraction-dumps.sha256.
//
// The hashes hold for the pdfium build and system fonts of this tree. When
// extraction output is changed on purpose (or pdfium is updated), record the
// dumps again and review the changed lines of the fixture in the commit; with
// ULVO_EXTRACTION_DUMP_DIR=<dir> the dumps are also written out as text, so
// that a run before and after the change can be compared with diff:
//   ULVO_RECORD_EXTRACTION_DUMPS=1 build/bin/ulvo_core_tests --gtest_filter='ExtractionDump*'
#include "CorpusReplay.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace testsupport;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
constexpr int kManualPageStep = 3;  // every third page of the manual
constexpr int kCorpusPages = 3;

QString fixturePath() {
  return QDir::cleanPath(testDataDir() + QStringLiteral("/../core/data/extraction-dumps.sha256"));
}

// Shortest text that reads back as the same double, so any change shows.
QString num(double v) { return QString::number(v, 'g', 17); }
QString rect(const QRectF& r) { return num(r.x()) + ',' + num(r.y()) + ',' + num(r.width()) + ',' + num(r.height()); }
QString colour(const QColor& c) {
  return c.isValid() ? QStringLiteral("%1,%2,%3,%4").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha())
                     : QStringLiteral("invalid");
}
QString flags(std::initializer_list<bool> values) {
  QString s;
  for (bool v : values) s += v ? '1' : '0';
  return s;
}
QString quoted(const QString& text) {
  QString s = text;
  s.replace('\\', QStringLiteral("\\\\")).replace('\n', QStringLiteral("\\n")).replace('|', QStringLiteral("\\|"));
  return s;
}

void dumpPage(QTextStream& out, const std::vector<TextBlock>& blocks) {
  for (const TextBlock& b : blocks) {
    out << "B|" << quoted(b.text) << '|' << quoted(b.richTextHtml) << '|' << rect(b.rect) << '|'
        << rect(b.originalRect) << '|' << b.page << '|' << num(b.fontSize) << '|' << quoted(b.fontFamily) << '|'
        << colour(b.color) << '|'
        << flags({b.isTable, b.isImage, b.inkLayer, b.bold, b.italic, b.transparentText, b.textEdited,
                  b.imageEdited, b.image.isNull()})
        << '|' << num(b.rotation) << '\n';
    for (const TextBlock::Line& l : b.lines) {
      out << " L|" << quoted(l.text) << '|' << rect(l.rect) << '|' << num(l.fontSize) << '|' << quoted(l.fontFamily)
          << '|' << colour(l.color) << '|' << flags({l.bold, l.italic, l.transparentText}) << '\n';
      for (const TextBlock::Line::Span& s : l.spans)
        out << "  S|" << quoted(s.text) << '|' << num(s.fontSize) << '|' << quoted(s.fontFamily) << '|'
            << colour(s.color) << '|' << flags({s.bold, s.italic, s.superscript, s.subscript}) << '\n';
      for (const TextBlock::Line::Word& w : l.words)
        out << "  W|" << quoted(w.text) << '|' << rect(w.rect) << '|' << num(w.confidence) << '\n';
    }
  }
}

// The SHA-256 of the dump of the given pages (those past the end are left
// out); empty when the file does not open. With ULVO_EXTRACTION_DUMP_DIR set,
// the dump itself is written there too, so that two runs can be compared line
// by line before a change of output is recorded.
QString dumpHash(QString key, const QString& file, const QList<int>& pages) {
  PdfDocument doc;
  if (!doc.open(file)) return {};
  QString dump;
  QTextStream out(&dump);
  for (int page : pages) {
    if (page >= doc.pageCount()) break;
    out << "P|" << page << '\n';
    dumpPage(out, doc.extractText(page));
  }
  out.flush();
  const QString dumpDir = qEnvironmentVariable("ULVO_EXTRACTION_DUMP_DIR");
  if (!dumpDir.isEmpty()) {
    QFile text(QDir(dumpDir).filePath(key.replace('/', '_') + QStringLiteral(".txt")));
    if (text.open(QIODevice::WriteOnly)) text.write(dump.toUtf8());
  }
  return QString::fromLatin1(QCryptographicHash::hash(dump.toUtf8(), QCryptographicHash::Sha256).toHex());
}

struct DumpCase {
  QString key;  // as written in the fixture
  QString file;
  QList<int> pages;
};

QList<DumpCase> dumpCases() {
  QList<DumpCase> cases;
  const QDir corpusRoot(corpusDir());
  QList<int> first;
  for (int p = 0; p < kCorpusPages; ++p) first << p;
  for (const QString& file : corpus::corpusFiles())
    cases.append({QStringLiteral("corpus/") + corpusRoot.relativeFilePath(file), file, first});
  if (QFile::exists(kManual)) {
    PdfDocument doc;
    QList<int> pages;
    if (doc.open(kManual))
      for (int p = 0; p < doc.pageCount(); p += kManualPageStep) pages << p;
    cases.append({QStringLiteral("manual/gnuplot.pdf"), kManual, pages});
  }
  return cases;
}

const char* const kFixtureHeader =
    "# SHA-256 of the full extractText dump per file (ExtractionDumpTest.cpp);\n"
    "# \"-\" marks a file that does not open. Rewrite after an intended change with\n"
    "# ULVO_RECORD_EXTRACTION_DUMPS=1 build/bin/ulvo_core_tests --gtest_filter='ExtractionDump*'\n";

QMap<QString, QString> readHashes(const QString& path) {
  QMap<QString, QString> hashes;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return hashes;
  while (!f.atEnd()) {
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    const qsizetype gap = line.indexOf(QStringLiteral("  "));
    if (gap > 0) hashes.insert(line.mid(gap + 2), line.left(gap));
  }
  return hashes;
}

bool writeHashes(const QString& path, const QMap<QString, QString>& hashes, const char* header = "") {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  QTextStream out(&f);
  out << header;
  for (auto it = hashes.cbegin(); it != hashes.cend(); ++it) out << it.value() << "  " << it.key() << '\n';
  out.flush();
  return f.commit();
}

}  // namespace

// pdfium keeps substitute fonts from earlier documents for the life of the
// process, and a few corpus files then get other character boxes; the dumps
// are therefore always taken in a fresh process of their own.
TEST(ExtractionDump, HashesInAFreshProcess) {
  const QString out = qEnvironmentVariable("ULVO_EXTRACTION_DUMP_CHILD");
  if (out.isEmpty()) GTEST_SKIP() << "runs only as a child process";
  corpus::Watchdog watchdog(std::chrono::seconds(60));
  QMap<QString, QString> hashes;
  for (const DumpCase& c : dumpCases()) {
    watchdog.start(c.file);
    const QString hash = dumpHash(c.key, c.file, c.pages);
    hashes.insert(c.key, hash.isEmpty() ? QStringLiteral("-") : hash);
  }
  watchdog.start(QString());
  ASSERT_TRUE(writeHashes(out, hashes));
}

TEST(ExtractionDump, EveryValueMatchesTheRecordedDump) {
  ASSERT_GT(corpus::corpusFiles().size(), 100) << "corpus missing at " << corpusDir().toStdString();
  const bool record = qEnvironmentVariableIntValue("ULVO_RECORD_EXTRACTION_DUMPS") == 1;
  const QMap<QString, QString> recorded = readHashes(fixturePath());
  if (!record) {
    ASSERT_FALSE(recorded.isEmpty()) << "no fixture at " << fixturePath().toStdString();
  }

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString childOut = dir.filePath(QStringLiteral("hashes.sha256"));
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("ULVO_EXTRACTION_DUMP_CHILD"), childOut);
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ExtractionDump.HashesInAFreshProcess"});
  ASSERT_TRUE(child.waitForStarted());
  // Each file of the child has its watchdog: the whole run, which a loaded
  // machine (the sanitizers' pass) stretches many times over, has none.
  ASSERT_TRUE(child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
      << child.readAll().right(4000).toStdString();
  const QMap<QString, QString> hashes = readHashes(childOut);
  ASSERT_FALSE(hashes.isEmpty());

  if (record) {
    ASSERT_TRUE(writeHashes(fixturePath(), hashes, kFixtureHeader)) << "cannot write " << fixturePath().toStdString();
    GTEST_SKIP() << "recorded " << hashes.size() << " dumps into " << fixturePath().toStdString();
  }
  for (auto it = hashes.cbegin(); it != hashes.cend(); ++it) {
    const auto want = recorded.constFind(it.key());
    if (want == recorded.cend())
      ADD_FAILURE() << it.key().toStdString() << " has no recorded dump";
    else
      EXPECT_EQ(it.value().toStdString(), want.value().toStdString())
          << it.key().toStdString() << ": extraction output differs from the recorded dump";
  }
  for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
    if (it.key().startsWith(QStringLiteral("manual/")) && !QFile::exists(kManual)) continue;  // gnuplot-doc missing
    EXPECT_TRUE(hashes.contains(it.key())) << it.key().toStdString() << " was recorded but not dumped";
  }
}
