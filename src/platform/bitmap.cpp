#include "platform/bitmap.h"

#include "platform/errors.h"
#include "platform/text.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace {
// Button pictures are small; a larger file is refused before it is decoded.
constexpr qint64 MaxBitmapBytes = 64 * 1024 * 1024;
constexpr int MaxSide = 4096;
}  // namespace

QPixmap loadBitmap(const std::string& path) {
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
