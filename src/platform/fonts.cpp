#include "platform/fonts.h"

#include <QStringList>

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
