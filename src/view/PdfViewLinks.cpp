// Following a clicked link. The PDF is untrusted: web links open directly,
// while files to launch and unknown schemes are confirmed by the user first.
#include "PdfView.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace {

bool isWebScheme(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

}  // namespace

void PdfView::openLinkUrl(const QUrl& url, bool trusted) {
  if (!trusted) {
    const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    const bool allowed =
        linkConfirmation
            ? linkConfirmation(shown)
            : QMessageBox::question(this, QStringLiteral("Открыть ссылку"),
                                    QStringLiteral("Документ просит открыть:\n%1\n\nОткрыть?").arg(shown),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (!allowed) return;
  }
  QDesktopServices::openUrl(url);
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
      return true;
    case LinkTarget::Url:
      if (!target.url.isValid()) return false;
      openLinkUrl(target.url, isWebScheme(target.url));
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
