#pragma once
// Reading the update manifest: which package of which channel applies to this
// edition and platform, and whether it is newer than the running version.

#include <QByteArray>
#include <QString>

// A placeholder on a reserved domain; the maker's address is set in the
// settings or by ULVO_UPDATE_URL.
inline constexpr char kDefaultUpdateManifestUrl[] = "https://updates.ulvo.example/updates/latest.json";

// The most of a manifest the check reads: a real one is a few kilobytes.
inline constexpr qint64 kLargestUpdateManifest = 1 << 20;

// ULVO_UPDATE_URL when it is not blank, else "updates/manifestUrl", else the default.
QString updateManifestAddress();

struct UpdateManifestAnswer {
  enum Kind { Malformed, NoProduct, NoPackage, Newer, Current } kind = Malformed;
  QString parseError;
  QString platform;
  QString version;
  QString url;
  QString type;
  QString sha256;
  qint64 size = 0;
};

UpdateManifestAnswer readUpdateManifest(const QByteArray& body, const QString& productId, const QString& channel,
                                        const QString& currentVersion, bool preferAppImage);

// Version order: as version numbers when both parse, else as plain text.
bool isNewerVersion(const QString& available, const QString& current);

// Only web addresses are offered to the browser.
bool isOpenableUpdateUrl(const QString& url);
