#pragma once
// Which raster format a file is, told by its first bytes alone. Qt's image
// reader, asked to guess, hands the content to every plugin in turn, and the
// SVG plugin parses a whole document (internal entities expanded) only to
// answer; a few kilobytes of .svgz then take all memory. The import formats
// are raster images with fixed signatures, so the signature decides.

#include <QByteArray>
#include <QString>

class QImage;
class QImageReader;

// Bytes of the file's start the probe needs.
inline constexpr int kImageSignatureBytes = 256;

// "png", "jpeg", "gif", "bmp", "webp" or "tiff" for those signatures; "svg"
// for markup that names svg early or a gzip stream (an .svgz); empty for
// anything else. Only the message depends on "svg": nothing here parses it.
QByteArray imageFormatFromSignature(const QByteArray& head);

// The signature format of the file at `path` (read without blocking on a
// pipe; only ordinary files are looked at). Empty when none or unreadable.
QByteArray imageFormatOfFile(const QString& path);

// Decodes a raster image with the format its signature names and no other
// (no guessing across plugins); a null image for anything else, SVG included.
QImage decodeRasterImage(const QByteArray& bytes);

// Reads the picture `reader` holds within the import bound: its declared
// pixels within kLargestImportedPicturePixels and its decoded size (width x
// height x bytes a pixel) within kLargestDecodedPictureMegabytes, both checked
// before a pixel is decoded. A picture of 16 bits a channel is converted to 8
// bits as it is read, and its 8-bit size is what the bound holds. A null
// image otherwise, with `tooLarge` naming the size past a bound (left as it
// was when the picture is damaged).
QImage readPictureWithinBound(QImageReader& reader, QString* tooLarge);

// Decodes a picture in `format` (a signature's) up to the import bound of
// kLargestImportedPicturePixels: the size the header declares is checked
// before anything is decoded, and the reader may take as much memory as a
// picture within the bound needs. A null image otherwise, with `why` (in the
// interface language where the reason is ours) saying what stopped it.
QImage decodeImportedPicture(const QByteArray& bytes, const QByteArray& format, QString* why);

// The picture file at `path` (an ordinary file of at most `largestFile`, its format
// told by its signature, SVG refused) decoded as above; a null image and
// `why` (not an image, damaged or cut short, too large, unreadable) when it
// cannot be.
QImage readImportedPicture(const QString& path, QString* why, qint64 largestFile = qint64(1) << 30);
