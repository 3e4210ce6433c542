#include "SignatureStampStorage.h"

#include "SignatureStampRendering.h"
#include "SignatureTexts.h"
#include "core/AtomicFileWrite.h"
#include "ui/UniqueSiblingPath.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

// A template file larger than this is no template but an attack or an accident.
constexpr qint64 kMaxTemplateJsonBytes = 1 << 20;
constexpr qint64 kMaxTemplatePictureBytes = 64 << 20;
constexpr int kAlignmentMask = 0x1FF;

QString jsonPathOf(const QString& id) {
  return QDir(signatureStampTemplatesDir()).filePath(safeSignatureStampTemplateId(id) + QStringLiteral(".json"));
}

// Only regular files are read: a pipe or a device named by a template would
// block or never end.
QImage loadBoundedPicture(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || info.size() > kMaxTemplatePictureBytes) return {};
  QImageReader reader(path);
  QSize size = reader.size();
  if (size.isValid() && (size.width() > kStampPictureMaxSide || size.height() > kStampPictureMaxSide))
    reader.setScaledSize(size.scaled(kStampPictureMaxSide, kStampPictureMaxSide, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull()) return {};
  if (image.width() > kStampPictureMaxSide || image.height() > kStampPictureMaxSide)
    image = image.scaled(kStampPictureMaxSide, kStampPictureMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

double number(const QJsonObject& object, const char* key, double fallback) {
  const QJsonValue value = object.value(QLatin1String(key));
  return value.isDouble() ? value.toDouble() : fallback;
}

QString text(const QJsonObject& object, const char* key, const QString& fallback) {
  const QJsonValue value = object.value(QLatin1String(key));
  return value.isString() ? value.toString() : fallback;
}

bool flag(const QJsonObject& object, const char* key) {
  const QJsonValue value = object.value(QLatin1String(key));
  return value.isBool() ? value.toBool() : false;
}

double clampedFraction(double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0; }

SignatureStampVariable variableFromJson(const QJsonObject& object) {
  SignatureStampVariable variable;
  variable.text = text(object, "text", uiText("{{SIGNER}}")).left(kStampMaxTextLength);
  // The line stays inside its picture, whatever the file says.
  variable.x = clampedFraction(number(object, "x", 0.1));
  variable.y = clampedFraction(number(object, "y", 0.1));
  variable.w = std::min(clampedFraction(number(object, "w", 0.8)), 1.0 - variable.x);
  variable.h = std::min(clampedFraction(number(object, "h", 0.1)), 1.0 - variable.y);
  variable.font = text(object, "font", QStringLiteral("Times New Roman"));
  const double size = number(object, "fontSizePx", 30);
  variable.fontSizePx = std::isfinite(size) ? std::clamp(size, kStampFontSizeMinPx, kStampFontSizeMaxPx) : 30;
  variable.bold = flag(object, "bold");
  variable.italic = flag(object, "italic");
  variable.color = QColor::fromString(text(object, "color", QStringLiteral("#ff0f172a")));
  if (!variable.color.isValid()) variable.color = QColor(15, 23, 42);
  variable.alignment = int(number(object, "alignment", 129)) & kAlignmentMask;
  return variable;
}

QJsonObject variableToJson(const SignatureStampVariable& variable) {
  return {{QStringLiteral("text"), variable.text},
          {QStringLiteral("x"), variable.x},
          {QStringLiteral("y"), variable.y},
          {QStringLiteral("w"), variable.w},
          {QStringLiteral("h"), variable.h},
          {QStringLiteral("font"), variable.font},
          {QStringLiteral("fontSizePx"), variable.fontSizePx},
          {QStringLiteral("bold"), variable.bold},
          {QStringLiteral("italic"), variable.italic},
          {QStringLiteral("color"), variable.color.name(QColor::HexArgb)},
          {QStringLiteral("alignment"), variable.alignment}};
}

// Keeps a damaged file for the user to inspect, under a name the listing
// no longer reads.
QString moveDamagedAside(const QString& path) {
  const QString aside = uniqueSiblingPathLikeChrome(path + QStringLiteral(".damaged"));
  return QFile::rename(path, aside) ? aside : QString();
}

void migrateLegacyStamp() {
  const QDir folder(signatureStampTemplatesDir());
  const bool hasJson = folder.exists() && !folder.entryList({QStringLiteral("*.json")}, QDir::Files).isEmpty();
  if (hasJson || !QFileInfo::exists(legacySignatureStampJsonPath())) return;
  SignatureStampTemplate legacy = loadSignatureStampTemplateFromJson(
      legacySignatureStampJsonPath(), QDir(legacySignatureStampDir()).filePath(QStringLiteral("signature-stamp.png")));
  if (legacy.id.trimmed().isEmpty()) return;
  legacy.id.clear();
  legacy.name = uiText("Пользовательский");
  legacy.builtIn = false;
  saveSignatureStampTemplate(legacy, nullptr);
}

}  // namespace

QString appDataDirectory() {
  const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).trimmed();
  return location.isEmpty() ? QDir::homePath() + QStringLiteral("/.ulvo-pdf-reader") : location;
}

QString signatureStampTemplatesDir() { return QDir(appDataDirectory()).filePath(QStringLiteral("signature-stamps")); }
QString legacySignatureStampDir() { return QDir(appDataDirectory()).filePath(QStringLiteral("signature-stamp")); }
QString legacySignatureStampJsonPath() {
  return QDir(legacySignatureStampDir()).filePath(QStringLiteral("signature-stamp.json"));
}
QString signatureStampTemplateImagePath(const QString& id) {
  return QDir(signatureStampTemplatesDir()).filePath(safeSignatureStampTemplateId(id) + QStringLiteral(".png"));
}

QString safeSignatureStampTemplateId(QString id) {
  static const QRegularExpression nonWord(QStringLiteral("[^\\p{L}\\p{N}]+"),
                                          QRegularExpression::UseUnicodePropertiesOption);
  static const QRegularExpression edgeDashes(QStringLiteral("(^-+|-+$)"));
  id = id.trimmed().toLower();
  id.replace(nonWord, QStringLiteral("-"));
  id.remove(edgeDashes);
  if (id.isEmpty() || id == QLatin1String("default")) id = QStringLiteral("stamp");
  return id.left(64);
}

QString stampTemplateDisplayName(const SignatureStampTemplate& stampTemplate) {
  if (!stampTemplate.name.trimmed().isEmpty()) return stampTemplate.name.trimmed();
  if (stampTemplate.id == QLatin1String("default")) return uiText("Стандартный");
  if (!stampTemplate.id.trimmed().isEmpty()) return stampTemplate.id;
  return uiText("Штамп");
}

QList<SignatureStampVariable> defaultSignatureStampVariables() {
  struct Line {
    const char* text;
    double x, y, w, h;
    const char* font;
    double size;
  };
  static const Line lines[] = {
      {"Подписант: {{SIGNER}}", 0.135, 0.18, 0.825, 0.075, "Times New Roman", 32},
      {"Сертификат: {{ALGORITHM}}, действует до {{VALID_TO}}", 0.135, 0.255, 0.825, 0.07, "Times New Roman", 28},
      {"Издатель: {{ISSUER}}", 0.135, 0.325, 0.825, 0.07, "Times New Roman", 28},
      {"Дата: {{DATETIME}}", 0.135, 0.395, 0.825, 0.07, "Times New Roman", 28},
      {"SHA-256 исходного файла: {{SHA256}}", 0.135, 0.505, 0.825, 0.35, "Consolas", 22},
  };
  QList<SignatureStampVariable> variables;
  for (const Line& line : lines) {
    SignatureStampVariable variable;
    variable.text = uiText(line.text);
    variable.x = line.x;
    variable.y = line.y;
    variable.w = line.w;
    variable.h = line.h;
    variable.font = QString::fromLatin1(line.font);
    variable.fontSizePx = line.size;
    variables << variable;
  }
  return variables;
}

SignatureStampTemplate defaultSignatureStampTemplate() {
  SignatureStampTemplate stamp;
  stamp.id = QStringLiteral("default");
  stamp.name = uiText("Стандартный");
  stamp.builtIn = true;
  stamp.image = defaultSignatureStampBase(kStandardStampSize);
  stamp.variables = defaultSignatureStampVariables();
  return stamp;
}

SignatureStampTemplate loadSignatureStampTemplateFromJson(const QString& jsonPath, const QString& defaultImagePath,
                                                          bool* damaged) {
  SignatureStampTemplate stamp;
  if (damaged) *damaged = false;
  const QFileInfo info(jsonPath);
  QFile file(jsonPath);
  if (!info.isFile() || !file.open(QIODevice::ReadOnly)) return stamp;
  const QJsonDocument document =
      info.size() > kMaxTemplateJsonBytes ? QJsonDocument() : QJsonDocument::fromJson(file.readAll());
  if (!document.isObject()) {
    if (damaged) *damaged = true;
    return stamp;
  }
  const QJsonObject object = document.object();
  stamp.id = safeSignatureStampTemplateId(text(object, "id", info.completeBaseName()));
  stamp.name = text(object, "name", stamp.id);

  const QString defaultPicture =
      defaultImagePath.isEmpty() ? signatureStampTemplateImagePath(stamp.id) : defaultImagePath;
  const QString image = text(object, "image", QString());
  QString picture = defaultPicture;
  if (!image.trimmed().isEmpty())
    picture = QDir::isAbsolutePath(image) ? image : info.absoluteDir().filePath(image);
  stamp.image = loadBoundedPicture(picture);

  for (const QJsonValue& value : object.value(QLatin1String("variables")).toArray()) {
    if (stamp.variables.size() >= kStampMaxVariables) break;
    if (value.isObject()) stamp.variables << variableFromJson(value.toObject());
  }
  if (stamp.image.isNull() && stamp.variables.isEmpty()) stamp.id.clear();
  return stamp;
}

QList<SignatureStampTemplate> loadSignatureStampTemplates(QStringList* problems) {
  migrateLegacyStamp();
  QList<SignatureStampTemplate> user;
  const QDir folder(signatureStampTemplatesDir());
  for (const QString& name : folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
    const QString path = folder.filePath(name);
    bool damaged = false;
    SignatureStampTemplate stamp = loadSignatureStampTemplateFromJson(path, QString(), &damaged);
    if (damaged) {
      const QString aside = moveDamagedAside(path);
      if (problems)
        *problems << (aside.isEmpty()
                          ? uiText("Файл шаблона штампа повреждён и пропущен: %1").arg(path)
                          : uiText("Файл шаблона штампа повреждён и пропущен. Он сохранён как %1").arg(aside));
      continue;
    }
    if (stamp.id.trimmed().isEmpty() || stamp.id == QLatin1String("default")) continue;
    if (stamp.image.isNull()) stamp.image = defaultSignatureStampBase(kStandardStampSize);
    if (stamp.variables.isEmpty()) stamp.variables = defaultSignatureStampVariables();
    user << stamp;
  }
  std::stable_sort(user.begin(), user.end(), [](const SignatureStampTemplate& a, const SignatureStampTemplate& b) {
    return QString::localeAwareCompare(stampTemplateDisplayName(a), stampTemplateDisplayName(b)) < 0;
  });
  return QList<SignatureStampTemplate>{defaultSignatureStampTemplate()} + user;
}

SignatureStampTemplate loadSignatureStampTemplate(const QString& id, QStringList* problems) {
  const QString key = id.trimmed().isEmpty() || id == QLatin1String("default") ? QStringLiteral("default")
                                                                                : safeSignatureStampTemplateId(id);
  const QList<SignatureStampTemplate> all = loadSignatureStampTemplates(problems);
  for (const SignatureStampTemplate& stamp : all)
    if (stamp.id == key) return stamp;
  return all.first();
}

bool saveSignatureStampTemplate(SignatureStampTemplate& stampTemplate, QString* error) {
  const auto fail = [error](const QString& message) {
    if (error) *error = message;
    return false;
  };
  QDir folder(signatureStampTemplatesDir());
  if (!folder.mkpath(QStringLiteral("."))) return fail(uiText("Не удалось создать папку шаблонов штампа."));

  stampTemplate.name = stampTemplate.name.trimmed();
  if (stampTemplate.name.isEmpty()) stampTemplate.name = uiText("Штамп");

  QString id;
  if (!stampTemplate.builtIn && !stampTemplate.id.trimmed().isEmpty() && stampTemplate.id != QLatin1String("default")) {
    id = safeSignatureStampTemplateId(stampTemplate.id);
  } else {
    const QString base = safeSignatureStampTemplateId(stampTemplate.name);
    id = base;
    for (int n = 2; folder.exists(id + QStringLiteral(".json")) || folder.exists(id + QStringLiteral(".png")); ++n)
      id = QStringLiteral("%1-%2").arg(base, QString::number(n));
  }
  stampTemplate.id = id;
  stampTemplate.builtIn = false;

  const QImage picture =
      stampTemplate.image.isNull() ? defaultSignatureStampBase(kStandardStampSize) : stampTemplate.image;
  QByteArray png;
  QBuffer buffer(&png);
  const QString imagePath = signatureStampTemplateImagePath(id);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
      !writeFileAtomically(imagePath, png, nullptr))
    return fail(uiText("Не удалось сохранить картинку шаблона штампа."));

  QJsonArray variables;
  for (const SignatureStampVariable& variable : stampTemplate.variables) variables.append(variableToJson(variable));
  const QJsonObject object{{QStringLiteral("id"), id},
                           {QStringLiteral("name"), stampTemplate.name},
                           {QStringLiteral("image"), QFileInfo(imagePath).fileName()},
                           {QStringLiteral("variables"), variables}};
  QString writeError;
  if (!writeFileAtomically(jsonPathOf(id), QJsonDocument(object).toJson(QJsonDocument::Indented), &writeError))
    return fail(uiText("Не удалось сохранить настройки переменных штампа: %1").arg(writeError));
  return true;
}
