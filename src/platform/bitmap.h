#pragma once
#include <QPixmap>

#include <string>

// Loads a bitmap picture file. Raises "Cannot open file <path>" when the file cannot be
// read and "Bitmap image is not valid" when it holds no usable bitmap. On a screen of
// double density, "NAME@2x.bmp" beside "NAME.bmp" is shown instead, where there is one.
QPixmap loadBitmap(const std::string& path);
QPixmap readBitmap(const std::string& path);  // that very file

// The file shown for a picture at a screen's pixel ratio.
std::string bitmapForDensity(const std::string& path, double ratio);
