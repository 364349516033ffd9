#include "platform/bitmap.h"

#include "platform/errors.h"
#include "platform/text.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QFile>
#include <QImageReader>

namespace {
// Button pictures are small; a larger file is refused before it is decoded.
constexpr qint64 MaxBitmapBytes = 64 * 1024 * 1024;
constexpr int MaxSide = 4096;
}  // namespace

std::string bitmapForDensity(const std::string& path, double ratio) {
    if (ratio < 1.5 || path.size() < 4 || upperAZ(path.substr(path.size() - 4)) != ".BMP") return path;
    const std::string twice = path.substr(0, path.size() - 4) + "@2x" + path.substr(path.size() - 4);
    return QFile::exists(fromAnsi(twice)) ? twice : path;
}

QPixmap loadBitmap(const std::string& path) {
    // On a screen of double density a picture drawn for it, where there is one.
    const double ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const std::string chosen = bitmapForDensity(path, ratio);
    QPixmap picture = readBitmap(chosen);
    if (chosen != path) picture.setDevicePixelRatio(2);
    return picture;
}

QPixmap readBitmap(const std::string& path) {
    QFile f(fromAnsi(path));
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(fillIn("Cannot open file %s", path));
    if (f.size() > MaxBitmapBytes) throw Exception("Bitmap image is not valid");
    QByteArray bytes = f.readAll();
    if (!bytes.startsWith("BM")) throw Exception("Bitmap image is not valid");
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "BMP");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxSide || size.height() > MaxSide) throw Exception("Bitmap image is not valid");
    QImage image = reader.read();
    if (image.isNull()) throw Exception("Bitmap image is not valid");
    return QPixmap::fromImage(image);
}
