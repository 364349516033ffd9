#pragma once
#include <QPixmap>

#include <string>

// Loads a bitmap picture file. Raises "Cannot open file <path>" when the file cannot be
// read and "Bitmap image is not valid" when it holds no usable bitmap.
QPixmap loadBitmap(const std::string& path);
