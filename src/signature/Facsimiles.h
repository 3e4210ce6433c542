#pragma once
// Facsimiles: pictures of a handwritten signature, a seal or an inscription
// kept as PNG files in the application data folder and placed on pages at
// their real size; groups are named lists of them placed in one click.

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QDialog;
class QListWidget;
class QWidget;

// "<application data>/facsimiles"; created only by the commands that write.
QString facsimileFolder();
// Every "*.png" below the folder (subfolders too, any letter case), as paths
// relative to it with "/", sorted without regard to case; hidden ones skipped.
QStringList listFacsimileFiles(const QString& folder);
QString facsimileGroupDir(const QString& facsimileFolder);
// A name the user typed as a safe file name: no path separators, no leading
// dot, nothing reserved; cleaning a cleaned name changes nothing.
QString normalizeFacsimileName(const QString& name);
// Millimetres (width, height) proposed for placing these pictures.
QSizeF defaultFacsimileSizeMm(const QList<QImage>& images);
// The PNG written atomically; false with `error` set when it could not be,
// or when the picture is larger than the editor and the page take. A link
// planted at `path` is refused, so saving never writes outside the store.
bool writeFacsimilePng(const QString& path, const QImage& image, QString* error);
// Whether `path` names an ordinary file (a pipe or device named in a group
// file must not block or feed the picker).
bool isFacsimileFile(const QString& path);
// A stored picture, read only from an ordinary file of bounded size, decoded
// by its signature and within the editor's bounds; null otherwise, with
// `why` (when given) saying what is wrong.
QImage readFacsimileImage(const QString& path, QString* why = nullptr);
// The stored picture scaled to fit `size`, for the picker's icons (which
// read each picture on a worker thread); null when it cannot be read.
QImage readFacsimileThumbnail(const QString& path, const QSize& size);
// A group file's bytes under the same rules; empty otherwise.
QByteArray readFacsimileGroupFile(const QString& path);

// The picker "Выбрать факсимиле"; the caller runs it, reads "listWidget" and
// "createNew" and deletes it.
QDialog* buildFacsimilePickerDialog(const QString& facsimileFolder, const QStringList& files, QWidget* parent,
                                    bool listGroups, bool multiSelect, bool offerCreateGroup, bool offerCreateNew);
QStringList selectedFacsimileImageItems(QListWidget* list, const QString& facsimileFolder);
// True on "Сохранить", with the cleaned name in `name`.
bool requestFacsimileName(QWidget* parent, const QString& title, const QString& initialName, QString* name);
// The height in millimetres that keeps a picture of this many pixels in
// proportion at the given width.
double facsimileHeightForWidthMm(const QSize& pixels, double widthMm);
// True on "Установить", with the chosen width and height in millimetres.
bool requestFacsimilePlacementSize(QWidget* parent, const QList<QImage>& images, QSizeF* sizeMm);
