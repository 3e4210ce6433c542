// Number format codes turned into display text.
#include "XlsxCellPainter.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

bool isDateFormatId(int id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool looksLikeDateCode(const QString& code) {
  static const QRegularExpression quoted(QStringLiteral("\"[^\"]*\"?"));
  QString bare = code;
  bare.remove(quoted);
  bare.remove(QLatin1Char('"'));
  bare = bare.toLower();
  return bare.contains(QLatin1String("yy")) || (bare.contains(QLatin1String("mm")) && bare.contains(QLatin1String("dd")));
}

bool asWholeInt(double value, qint64* out) {
  if (!std::isfinite(value) || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return false;
  if (value != std::floor(value)) return false;
  *out = qint64(std::llround(value));
  return true;
}

// One section of a code ("positive;negative;zero;text") cut into the literal
// text before the number, the number's own placeholders and the literal
// text after it. Currency signs, quoted and escaped text are literals.
struct Section {
  QString prefix, pattern, suffix;
  bool placeholders = false;  // digits or "General"
  bool percent = false;
  bool timeCodes = false;     // unquoted h, m, s and the like: a time this formatter does not draw
};

QStringList splitSections(const QString& code) {
  QStringList sections;
  QString current;
  bool quoted = false, bracket = false;
  for (qsizetype i = 0; i < code.size(); ++i) {
    const QChar c = code[i];
    if (c == QLatin1Char('\\') && !quoted && i + 1 < code.size()) {
      current += c;
      current += code[++i];
      continue;
    }
    if (c == QLatin1Char('"')) quoted = !quoted;
    else if (!quoted && c == QLatin1Char('[')) bracket = true;
    else if (!quoted && c == QLatin1Char(']')) bracket = false;
    if (c == QLatin1Char(';') && !quoted && !bracket) {
      sections.append(current);
      current.clear();
    } else {
      current += c;
    }
  }
  sections.append(current);
  return sections;
}

Section parseSection(const QString& text) {
  Section section;
  QString pending;  // literal text met after a placeholder
  const auto literal = [&](const QString& piece) {
    if (section.placeholders) pending += piece;
    else section.prefix += piece;
  };
  const auto placeholder = [&](const QString& piece) {
    // Literal text between two digits of the number (a phone code's dash)
    // has no place in this formatter's numbers: it is left out.
    pending.clear();
    section.pattern += piece;
    section.placeholders = true;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
    if (c == QLatin1Char('"')) {
      const qsizetype end = text.indexOf(QLatin1Char('"'), i + 1);
      literal(text.mid(i + 1, end < 0 ? -1 : end - i - 1));
      if (end < 0) break;
      i = end;
    } else if (c == QLatin1Char('\\')) {
      if (!next.isNull()) literal(QString(next));
      ++i;
    } else if (c == QLatin1Char('[')) {
      const qsizetype end = text.indexOf(QLatin1Char(']'), i + 1);
      const QString inner = text.mid(i + 1, end < 0 ? -1 : end - i - 1);
      // [$€-407] names a currency sign; colours and conditions draw nothing.
      if (inner.startsWith(QLatin1Char('$'))) literal(inner.mid(1).section(QLatin1Char('-'), 0, 0));
      if (end < 0) break;
      i = end;
    } else if (c == QLatin1Char('_')) {
      literal(QStringLiteral(" "));
      ++i;
    } else if (c == QLatin1Char('*')) {
      ++i;
    } else if (text.mid(i, 7).compare(QLatin1String("General"), Qt::CaseInsensitive) == 0) {
      placeholder(QString());
      i += 6;
    } else if (c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('?')) {
      placeholder(QString(c));
    } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) &&
               (section.placeholders || next == QLatin1Char('0') || next == QLatin1Char('#'))) {
      placeholder(QString(c));
    } else if (c == QLatin1Char('%')) {
      section.percent = true;
      literal(QStringLiteral("%"));
    } else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && section.placeholders &&
               (next == QLatin1Char('+') || next == QLatin1Char('-'))) {
      placeholder(QStringLiteral("E+"));
      ++i;
    } else if (c == QLatin1Char('@')) {
    } else if (QStringLiteral("yYmMdDhHsSaApP").contains(c)) {
      section.timeCodes = true;
    } else {
      literal(QString(c));
    }
  }
  section.suffix = pending;
  return section;
}

// The number itself under the placeholders of a section.
QString formatDigits(double value, const QString& pattern, bool percent) {
  const QString lower = pattern.toLower();
  const qsizetype point = lower.indexOf(QLatin1Char('.'));
  int decimals = 0;
  if (point >= 0)
    for (qsizetype i = point + 1; i < lower.size() && lower[i] == QLatin1Char('0'); ++i) ++decimals;
  decimals = std::min(decimals, 15);
  if (lower.contains(QLatin1String("e+"))) return QString::number(value, 'E', decimals);
  if (percent) return QString::number(value, 'f', decimals);
  const bool grouping = lower.contains(QLatin1String("#,")) || lower.contains(QLatin1String("0,"));
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  qint64 whole = 0;
  if (grouping && decimals > 0) return english.toString(value, 'f', decimals);
  if (grouping && asWholeInt(value, &whole)) return english.toString(whole);
  if (!grouping && decimals > 0) return QString::number(value, 'f', decimals);
  if (asWholeInt(value, &whole)) return QString::number(whole);
  return QString::number(value, 'g', 10);
}

}  // namespace

QString iFormatNum(double value, int numFmtId, const QString& code) {
  if (isDateFormatId(numFmtId) || looksLikeDateCode(code)) {
    if (std::isfinite(value) && std::abs(value) < 1e7) {
      const QDate date = QDate(1899, 12, 30).addDays(qint64(std::trunc(value)));
      if (date.isValid()) return date.toString(QStringLiteral("dd.MM.yyyy"));
    }
  }
  // The section by sign: a negative number in its own section shows without
  // its minus (the section writes what it wants), zero in the third.
  const QStringList sections = splitSections(code);
  int index = 0;
  if (value < 0 && sections.size() >= 2) index = 1;
  else if (value == 0 && sections.size() >= 3) index = 2;
  const Section section = parseSection(sections[index]);
  double shown = index == 1 ? std::abs(value) : value;
  if (!section.placeholders && !section.timeCodes && !(section.prefix + section.suffix).trimmed().isEmpty())
    return section.prefix + section.suffix;  // a section of text only
  if (section.percent) shown *= 100.0;
  const bool minus = shown < 0;
  const QString digits = formatDigits(minus ? -shown : shown, section.pattern, section.percent);
  // A time this formatter does not draw shows the bare number.
  if (section.timeCodes && !section.placeholders) return (minus ? QStringLiteral("-") : QString()) + digits;
  return (minus ? QStringLiteral("-") : QString()) + section.prefix + digits + section.suffix;
}
