#pragma once
#include <QFont>

// The windows' design font, "MS Sans Serif" at a pixel height; on this system it is
// drawn with a sans serif of the same narrow metrics where one is installed.
QFont designFont(int pixelSize);
