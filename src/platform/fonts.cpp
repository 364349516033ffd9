#include "platform/fonts.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

QFont designFont(int pixelSize) {
    static const bool substituted = [] {
        QFont::insertSubstitutions("MS Sans Serif", QStringList() << "Liberation Sans" << "Arial" << "DejaVu Sans");
        return true;
    }();
    (void)substituted;
    QFont f("MS Sans Serif");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    return f;
}

int fitCaption(QAbstractButton* button, const QString& caption, int pixelSize, int usualWidth, int widest) {
    // The frame and the style's margins take two pixels on each side.
    const auto needs = [&caption](const QFont& f) { return QFontMetrics(f).horizontalAdvance(caption) + 4; };
    QFont f = designFont(pixelSize);
    while (f.pixelSize() > 10 && needs(f) > usualWidth) f.setPixelSize(f.pixelSize() - 1);
    const int width = std::clamp(needs(f), usualWidth, widest);
    while (f.pixelSize() > 6 && needs(f) > width) f.setPixelSize(f.pixelSize() - 1);
    button->setFont(f);
    button->setText(caption);
    button->resize(width, button->height());
    return width;
}
