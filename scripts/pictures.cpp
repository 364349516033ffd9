// Draws the nine button pictures of the sample program folder (image1.bmp ... image9.bmp,
// 32 x 28 as the buttons take them, and image1@2x.bmp ... at twice the size for screens
// of double density):
//   cmake --build build --target draw_pictures && build/draw_pictures sample
// A house, a book, an animal, a game pad, a globe, music, a paintbrush, a star, a rocket.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

const QColor Ink(60, 50, 70);
const QColor Back(239, 239, 239);  // the button bar's own colour: the picture has no edge

QPen ink(qreal width = 1.3) { return QPen(Ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void house(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(255, 214, 102));
    p.drawRect(QRectF(8, 13, 16, 12));
    p.setBrush(QColor(230, 80, 70));
    p.drawPolygon(QPolygonF({{4, 14}, {16, 3}, {28, 14}}));
    p.setBrush(QColor(140, 90, 60));
    p.drawRect(QRectF(14, 18, 5, 7));
    p.setBrush(QColor(120, 190, 240));
    p.drawRect(QRectF(9.5, 15.5, 3, 3));
}

void book(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(70, 130, 220));
    p.drawRoundedRect(QRectF(3, 6, 26, 18), 2, 2);
    p.setBrush(Qt::white);
    p.drawPath([] {
        QPainterPath path;
        path.moveTo(16, 8);
        path.quadTo(10, 5, 5, 7);
        path.lineTo(5, 21);
        path.quadTo(10, 19, 16, 22);
        path.quadTo(22, 19, 27, 21);
        path.lineTo(27, 7);
        path.quadTo(22, 5, 16, 8);
        return path;
    }());
    p.drawLine(QPointF(16, 8), QPointF(16, 22));
    p.setPen(QPen(QColor(150, 150, 170), 0.8));
    for (qreal y : {11.0, 14.0, 17.0}) {
        p.drawLine(QPointF(7.5, y), QPointF(13.5, y));
        p.drawLine(QPointF(18.5, y), QPointF(24.5, y));
    }
}

void animal(QPainter& p) {  // a bear's friendly face
    p.setPen(ink());
    p.setBrush(QColor(190, 130, 80));
    p.drawEllipse(QPointF(8, 7), 4, 4);
    p.drawEllipse(QPointF(24, 7), 4, 4);
    p.drawEllipse(QPointF(16, 15), 11, 10);
    p.setBrush(QColor(240, 210, 170));
    p.drawEllipse(QPointF(16, 19), 5, 4);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(12, 13), 1.4, 1.6);
    p.drawEllipse(QPointF(20, 13), 1.4, 1.6);
    p.drawEllipse(QPointF(16, 17.5), 1.8, 1.2);
}

void gamePad(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(150, 110, 210));
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 8, 26, 14), 7, 7);
    p.drawPath(body);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(7, 14, 7, 2));
    p.drawRect(QRectF(9.5, 11.5, 2, 7));
    p.setPen(ink(1));
    p.setBrush(QColor(240, 80, 90));
    p.drawEllipse(QPointF(21, 13.5), 1.8, 1.8);
    p.setBrush(QColor(255, 214, 102));
    p.drawEllipse(QPointF(24.5, 17), 1.8, 1.8);
}

void globe(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(90, 170, 240));
    p.drawEllipse(QPointF(16, 14), 12, 12);
    p.setBrush(QColor(110, 200, 110));
    p.setPen(Qt::NoPen);
    QPainterPath land;
    land.moveTo(9, 7);
    land.cubicTo(14, 5, 15, 10, 12, 12);
    land.cubicTo(9, 14, 12, 19, 9, 21);
    land.cubicTo(6, 18, 5, 11, 9, 7);
    land.moveTo(18, 10);
    land.cubicTo(24, 8, 27, 12, 25, 16);
    land.cubicTo(23, 20, 19, 22, 18, 18);
    land.cubicTo(17, 15, 20, 14, 18, 10);
    p.drawPath(land);
    p.setPen(ink());
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16, 14), 12, 12);
}

void music(QPainter& p) {
    p.setPen(ink(1.6));
    p.drawLine(QPointF(12, 20), QPointF(12, 6));
    p.drawLine(QPointF(24, 17), QPointF(24, 4));
    p.setBrush(QColor(240, 90, 150));
    p.drawPolygon(QPolygonF({{12, 6}, {24, 4}, {24, 8}, {12, 10}}));
    p.setPen(ink());
    p.drawEllipse(QPointF(9.5, 20.5), 3.5, 2.8);
    p.drawEllipse(QPointF(21.5, 17.5), 3.5, 2.8);
}

void paintbrush(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(110, 200, 110));
    p.drawEllipse(QPointF(9, 21), 6, 3.5);
    p.setBrush(QColor(200, 140, 80));
    p.drawPolygon(QPolygonF({{27, 3}, {29, 5}, {18, 16}, {16, 14}}));
    p.setBrush(QColor(200, 200, 210));
    p.drawPolygon(QPolygonF({{16, 14}, {18, 16}, {16.5, 17.5}, {14.5, 15.5}}));
    p.setBrush(QColor(240, 80, 90));
    p.drawPath([] {
        QPainterPath tip;
        tip.moveTo(14.5, 15.5);
        tip.lineTo(16.5, 17.5);
        tip.quadTo(14, 22, 9, 21);
        tip.quadTo(10, 16, 14.5, 15.5);
        return tip;
    }());
}

void star(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(255, 205, 60));
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const qreal r = i % 2 ? 5.0 : 12.0, a = -M_PI / 2 + i * M_PI / 5;
        points << QPointF(16 + r * std::cos(a), 15 + r * std::sin(a));
    }
    p.drawPolygon(points);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(13.5, 14), 1, 1.3);
    p.drawEllipse(QPointF(18.5, 14), 1, 1.3);
}

void rocket(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(255, 160, 60));
    p.drawPolygon(QPolygonF({{13, 22}, {16, 27}, {19, 22}}));
    p.setBrush(QColor(230, 80, 70));
    p.drawPolygon(QPolygonF({{11, 15}, {7, 22}, {12, 21}}));
    p.drawPolygon(QPolygonF({{21, 15}, {25, 22}, {20, 21}}));
    p.setBrush(QColor(235, 235, 245));
    p.drawPath([] {
        QPainterPath body;
        body.moveTo(16, 1.5);
        body.cubicTo(22, 6, 21.5, 16, 20, 22);
        body.lineTo(12, 22);
        body.cubicTo(10.5, 16, 10, 6, 16, 1.5);
        return body;
    }());
    p.setBrush(QColor(90, 170, 240));
    p.drawEllipse(QPointF(16, 10), 2.6, 2.6);
}

const std::function<void(QPainter&)> Pictures[] = {house, book, animal, gamePad, globe, music, paintbrush, star, rocket};

QImage draw(const std::function<void(QPainter&)>& picture, int scale) {
    QImage image(32 * scale, 28 * scale, QImage::Format_RGB888);
    image.fill(Back);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    picture(p);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (int i = 0; i < 9; ++i) {
        const std::string name = folder + "/image" + std::to_string(i + 1);
        if (!draw(Pictures[i], 1).save(QString::fromStdString(name + ".bmp"), "BMP") ||
            !draw(Pictures[i], 2).save(QString::fromStdString(name + "@2x.bmp"), "BMP"))
            return 1;
    }
    return 0;
}
