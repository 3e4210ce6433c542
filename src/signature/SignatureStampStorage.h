#pragma once
// Where stamp templates live and how they are listed, read and written: one
// JSON file and one PNG picture per user template in "signature-stamps" of the
// application data folder, plus the built-in template held in memory.

#include "SignatureStampTemplate.h"

#include <QList>
#include <QString>
#include <QStringList>

// Limits that keep a hostile template from asking for giant pictures or
// drawing off its stamp; values read from a file are clamped to them.
inline constexpr int kStampPictureMaxSide = 4096;
inline constexpr double kStampFontSizeMinPx = 1;
inline constexpr double kStampFontSizeMaxPx = 400;
inline constexpr int kStampMaxVariables = 64;
inline constexpr int kStampMaxTextLength = 2000;

QString appDataDirectory();
QString signatureStampTemplatesDir();
QString legacySignatureStampDir();
QString legacySignatureStampJsonPath();
QString signatureStampTemplateImagePath(const QString& id);

QString safeSignatureStampTemplateId(QString id);
QString stampTemplateDisplayName(const SignatureStampTemplate& stampTemplate);

QList<SignatureStampVariable> defaultSignatureStampVariables();
SignatureStampTemplate defaultSignatureStampTemplate();

// An empty id in the result means nothing usable was read. A file that exists
// but is no JSON object is reported through `damaged` (when given).
SignatureStampTemplate loadSignatureStampTemplateFromJson(const QString& jsonPath, const QString& defaultImagePath,
                                                          bool* damaged = nullptr);
// The built-in template first, then the user templates by display name. A
// damaged template file is renamed aside (kept, never overwritten) and one
// message per such file is appended to `problems`.
QList<SignatureStampTemplate> loadSignatureStampTemplates(QStringList* problems = nullptr);
// Never empty: an unknown id gives the built-in template.
SignatureStampTemplate loadSignatureStampTemplate(const QString& id, QStringList* problems = nullptr);
// Writes the picture and the JSON atomically; rewrites id, name and builtIn.
bool saveSignatureStampTemplate(SignatureStampTemplate& stampTemplate, QString* error);
