// Following a clicked link or bookmark. The PDF is untrusted: web links open
// directly, while files to launch, unknown schemes and mail with attachments
// are confirmed by the user first.
#include "PdfView.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrlQuery>

namespace {

// Web pages and plain mail open directly. A mail link that asks for more
// than a subject, body and copies (an attachment, above all) is confirmed.
bool opensWithoutAsking(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return true;
  if (scheme != QLatin1String("mailto")) return false;
  static const QStringList harmless = {QStringLiteral("subject"), QStringLiteral("body"), QStringLiteral("cc"),
                                       QStringLiteral("bcc")};
  for (const auto& item : QUrlQuery(url).queryItems())
    if (!harmless.contains(item.first.toLower())) return false;
  return true;
}

}  // namespace

void PdfView::openLinkUrl(const QUrl& url, bool trusted) {
  if (!trusted) {
    const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    const bool allowed =
        linkConfirmation
            ? linkConfirmation(shown)
            : QMessageBox::question(this, QStringLiteral("Открыть ссылку"),
                                    QCoreApplication::translate("ulvo", "Документ просит открыть:\n%1\n\nОткрыть?").arg(shown),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (!allowed) return;
  }
  QDesktopServices::openUrl(url);
}

void PdfView::openExternalLink(const QUrl& url) {
  if (url.isValid()) openLinkUrl(url, opensWithoutAsking(url));
}

bool PdfView::activateLinkAtViewportPoint(const QPoint& viewportPos) {
  if (!document || editMode || editTool != EditTool::Select) return false;
  const int page = pageAtPoint(viewportPos);
  if (!isValidPage(page)) return false;
  const LinkTarget target = document->linkAtPoint(page, selectionPdfPointForViewportPoint(page, viewportPos));
  switch (target.kind) {
    case LinkTarget::Page:
      if (target.page < 0 || target.page >= document->pageCount()) return false;
      setCurrentPage(target.page);
      showPageAt(target.page, target.top);
      return true;
    case LinkTarget::Url:
      if (!target.url.isValid()) return false;
      openExternalLink(target.url);
      return true;
    case LinkTarget::File: {
      if (target.filePath.isEmpty()) return false;
      // A relative path names a file beside the document, not beside
      // wherever the program happened to start.
      QString path = target.filePath;
      if (QFileInfo(path).isRelative()) {
        const QString base = document->filePath();
        const QDir folder = base.isEmpty() ? QDir::current() : QFileInfo(base).absoluteDir();
        path = QDir::cleanPath(folder.absoluteFilePath(path));
      }
      openLinkUrl(QUrl::fromLocalFile(path), false);
      return true;
    }
    default:
      return false;
  }
}
