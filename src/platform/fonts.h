#pragma once
#include <QFont>

// The windows' design font, "MS Sans Serif" at a pixel height; on this system it is
// drawn with a sans serif of the same narrow metrics where one is installed.
QFont designFont(int pixelSize);

class QAbstractButton;
class QString;

// A button's caption shown whole ("Homework!!" is ten wide letters): in the design font
// of `pixelSize` where it fits the button's usual width, else in a smaller one down to
// 10 pixels, which stays easy to read; where even that does not fit, the button grows,
// up to `widest`, and only then does the font get smaller still. Sets the caption, the
// font and the button's width, and gives that width.
int fitCaption(QAbstractButton* button, const QString& caption, int pixelSize, int usualWidth, int widest);
