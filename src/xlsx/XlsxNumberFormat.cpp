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

}  // namespace

QString iFormatNum(double value, int numFmtId, const QString& code) {
  if (isDateFormatId(numFmtId) || looksLikeDateCode(code)) {
    if (std::isfinite(value) && std::abs(value) < 1e7) {
      const QDate date = QDate(1899, 12, 30).addDays(qint64(std::trunc(value)));
      if (date.isValid()) return date.toString(QStringLiteral("dd.MM.yyyy"));
    }
  }
  const QString lower = code.toLower();
  if (lower.contains(QLatin1Char('%'))) {
    const int decimals = lower.contains(QLatin1String("0.00%")) ? 2 : lower.contains(QLatin1String("0.0%")) ? 1 : 0;
    return QString::number(value * 100.0, 'f', decimals) + QLatin1Char('%');
  }
  const int decimals = lower.contains(QLatin1String("0.00")) ? 2 : lower.contains(QLatin1String("0.0")) ? 1 : 0;
  const bool grouping = lower.contains(QLatin1String("#,")) || lower.contains(QLatin1String("0,"));
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  qint64 whole = 0;
  if (grouping && decimals > 0) return english.toString(value, 'f', decimals);
  if (grouping && asWholeInt(value, &whole)) return english.toString(whole);
  if (!grouping && decimals > 0) return QString::number(value, 'f', decimals);
  if (asWholeInt(value, &whole)) return QString::number(whole);
  return QString::number(value, 'g', 10);
}
