// resource_art: draws the toolbar strip (14 pictures of 16 x 16), the program icons and the
// About picture, and writes them as PNG files into the given folder (resources/).
//
//   QT_QPA_PLATFORM=offscreen resource_art resources

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <cstdio>

namespace {

const QColor INK(32, 32, 48);
const QColor BLUE(40, 90, 200);
const QColor RED(200, 40, 40);
const QColor GREEN(30, 150, 60);
const QColor STEEL(120, 120, 130);

void arrow(QPainter& p, bool redo) {
    QPainterPath path;
    // A hook that turns back: the undo arrow points left, the redo arrow right.
    path.moveTo(12.5, 12.5);
    path.cubicTo(13.5, 6.0, 8.0, 3.5, 4.5, 6.5);
    p.save();
    if (redo) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    p.setPen(QPen(BLUE, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(BLUE);
    p.drawPolygon(QPolygonF({QPointF(1.5, 7.5), QPointF(7.0, 3.0), QPointF(7.5, 10.0)}));
    p.restore();
}

void edge_select(QPainter& p) {
    p.setPen(QPen(STEEL, 1));
    p.drawPolygon(QPolygonF({QPointF(2, 13), QPointF(8, 2), QPointF(14, 13)}));
    p.setPen(QPen(RED, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2, 13), QPointF(14, 13));
    p.setPen(QPen(INK, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 10.5, 3, 5));
}

void scissors(QPainter& p) {
    p.setPen(QPen(INK, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 2), QPointF(11, 11));
    p.drawLine(QPointF(13, 2), QPointF(5, 11));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(RED, 1.5));
    p.drawEllipse(QPointF(4, 12.5), 2.3, 2.3);
    p.drawEllipse(QPointF(12, 12.5), 2.3, 2.3);
}

void weld(QPainter& p) {
    p.setPen(QPen(STEEL, 2));
    p.drawLine(QPointF(1, 4), QPointF(6, 8));
    p.drawLine(QPointF(1, 12), QPointF(6, 8));
    p.drawLine(QPointF(15, 4), QPointF(10, 8));
    p.drawLine(QPointF(15, 12), QPointF(10, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 150, 0));
    p.drawEllipse(QPointF(8, 8), 2.8, 2.8);
    p.setBrush(QColor(255, 230, 80));
    p.drawEllipse(QPointF(8, 8), 1.3, 1.3);
}

void uv_grid(QPainter& p) {
    p.setPen(QPen(STEEL, 1));
    p.setBrush(QColor(230, 235, 245));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
}

void uv_select(QPainter& p) {
    uv_grid(p);
    p.setPen(Qt::NoPen);
    p.setBrush(RED);
    p.drawRect(QRectF(6, 6, 4, 4));
}

void uv_move(QPainter& p) {
    uv_grid(p);
    p.setPen(QPen(GREEN, 1.5));
    p.drawLine(QPointF(8, 3), QPointF(8, 13));
    p.drawLine(QPointF(3, 8), QPointF(13, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(GREEN);
    p.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(5.5, 4), QPointF(10.5, 4)}));
    p.drawPolygon(QPolygonF({QPointF(8, 15), QPointF(5.5, 12), QPointF(10.5, 12)}));
    p.drawPolygon(QPolygonF({QPointF(1, 8), QPointF(4, 5.5), QPointF(4, 10.5)}));
    p.drawPolygon(QPolygonF({QPointF(15, 8), QPointF(12, 5.5), QPointF(12, 10.5)}));
}

void pin(QPainter& p, bool crossed) {
    p.setPen(QPen(INK, 1.5));
    p.drawLine(QPointF(8, 8), QPointF(8, 15));
    p.setPen(QPen(INK, 1));
    p.setBrush(RED);
    p.drawEllipse(QPointF(8, 5), 4, 4);
    if (crossed) {
        p.setPen(QPen(INK, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 14), QPointF(14, 2));
    }
}

void relax(QPainter& p) {
    p.setPen(QPen(BLUE, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath wave;
    wave.moveTo(1, 6);
    wave.cubicTo(5, 1, 7, 11, 11, 6);
    wave.cubicTo(13, 4, 14, 5, 15, 6);
    p.drawPath(wave);
    p.setPen(QPen(GREEN, 1.5));
    p.drawLine(QPointF(1, 12), QPointF(15, 12));
}

// A bar on one side and an arrow pointing at it; side 0 left, 1 up, 2 right, 3 down.
void align(QPainter& p, int side) {
    p.save();
    p.translate(8, 8);
    p.rotate(90.0 * side);
    p.translate(-8, -8);
    p.setPen(Qt::NoPen);
    p.setBrush(INK);
    p.drawRect(QRectF(1.5, 2, 2, 12));
    p.setBrush(BLUE);
    p.drawRect(QRectF(8, 6.5, 6.5, 3));
    p.drawPolygon(QPolygonF({QPointF(4.5, 8), QPointF(9, 3.5), QPointF(9, 12.5)}));
    p.restore();
}

void draw_picture(QPainter& p, int index) {
    switch (index) {
    case 0:
        arrow(p, false);
        break;
    case 1:
        arrow(p, true);
        break;
    case 2:
        edge_select(p);
        break;
    case 3:
        scissors(p);
        break;
    case 4:
        weld(p);
        break;
    case 5:
        uv_select(p);
        break;
    case 6:
        uv_move(p);
        break;
    case 7:
        pin(p, false);
        break;
    case 8:
        pin(p, true);
        break;
    case 9:
        relax(p);
        break;
    default:
        align(p, index - 10);
        break;
    }
}

QImage toolbar_strip() {
    QImage strip(14 * 16, 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 14; i++) {
        p.save();
        p.translate(16 * i, 0);
        p.setClipRect(0, 0, 16, 16);
        draw_picture(p, i);
        p.restore();
    }
    return strip;
}

// A checker-textured square folded into charts: the program's mark.
void mark(QPainter& p, double size) {
    double cell = size / 4;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            p.fillRect(QRectF(x * cell, y * cell, cell, cell),
                       (x + y) % 2 ? QColor(250, 250, 250) : QColor(60, 90, 170));
        }
    p.setPen(QPen(RED, size / 16));
    p.drawLine(QPointF(0, size / 2), QPointF(size / 2, size / 2));
    p.drawLine(QPointF(size / 2, size / 2), QPointF(size / 2, size));
    p.setPen(QPen(INK, size / 32));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, size, size));
}

QImage icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    mark(p, size);
    return img;
}

QImage about_picture() {
    QImage img(360, 380, QImage::Format_ARGB32);
    img.fill(QColor(236, 236, 240));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.save();
    p.translate(100, 40);
    mark(p, 160);
    p.restore();
    p.setPen(INK);
    QFont title = p.font();
    title.setPointSize(22);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRectF(0, 220, 360, 40), Qt::AlignCenter, "Marrowby 1.1");
    QFont body = p.font();
    body.setPointSize(11);
    body.setBold(false);
    p.setFont(body);
    p.drawText(QRectF(20, 270, 320, 90), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               "UV layout: cut seams, flatten, pack.\n"
               "Angle based flattening and least-squares conformal maps.");
    return img;
}

bool save(const QImage& img, const QString& dir, const char* name) {
    QString path = dir + "/" + name;
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "resource_art: cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resource_art OUTPUT_FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = save(toolbar_strip(), dir, "toolbar.png") && save(icon(32), dir, "marrowby.png") &&
              save(icon(16), dir, "marrowby_small.png") && save(about_picture(), dir, "about.png");
    return ok ? 0 : 1;
}
