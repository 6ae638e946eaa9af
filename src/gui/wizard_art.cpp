#include "gui/wizard_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor deep(22, 58, 110);
const QColor light(74, 144, 217);
const QColor table_line(255, 255, 255, 200);

// A small table drawn as a grid: the picture of a DBF table that the pictures share.
void paint_table(QPainter& p, const QRectF& r, const QColor& frame, const QColor& fill) {
    p.setPen(QPen(frame, std::max(1.0, r.width() / 24)));
    p.setBrush(fill);
    p.drawRoundedRect(r, r.width() / 10, r.width() / 10);
    const double head = r.height() / 4;
    p.fillRect(QRectF(r.left(), r.top(), r.width(), head).adjusted(1, 1, -1, 0), frame);
    for (int row = 1; row < 3; ++row) {
        const double y = r.top() + head + row * (r.height() - head) / 3;
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    const double x = r.left() + r.width() / 3;
    p.drawLine(QPointF(x, r.top() + head), QPointF(x, r.bottom()));
}

void paint_arrow(QPainter& p, QPointF from, QPointF to, const QColor& color, double width) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    QPainterPath head;
    head.moveTo(to + QPointF(width * 1.5, 0));
    head.lineTo(to + QPointF(-width * 1.5, -width * 1.8));
    head.lineTo(to + QPointF(-width * 1.5, width * 1.8));
    head.closeSubpath();
    p.fillPath(head, color);
}

QPixmap logo_of_size(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    paint_table(p, QRectF(s * 0.05, s * 0.12, s * 0.5, s * 0.45), deep, Qt::white);
    paint_table(p, QRectF(s * 0.45, s * 0.43, s * 0.5, s * 0.45), light, Qt::white);
    return pixmap;
}

} // namespace

QIcon wizard_icon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(logo_of_size(size));
    return icon;
}

QPixmap wizard_logo() {
    return logo_of_size(48);
}

QPixmap wizard_banner() {
    // As wide as the window at its least size: a wider banner would push the logo out.
    QPixmap pixmap(720, 64);
    QPainter p(&pixmap);
    QLinearGradient g(0, 0, 720, 0);
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(226, 236, 248));
    p.fillRect(pixmap.rect(), g);
    return pixmap;
}

QPixmap wizard_watermark() {
    // As tall as the page area of the wizard's window at its least size.
    QPixmap pixmap(164, 494);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 494);
    g.setColorAt(0, deep);
    g.setColorAt(1, light);
    p.fillRect(pixmap.rect(), g);
    paint_table(p, QRectF(22, 60, 60, 52), table_line, QColor(255, 255, 255, 40));
    paint_table(p, QRectF(22, 128, 60, 52), table_line, QColor(255, 255, 255, 40));
    paint_arrow(p, QPointF(90, 120), QPointF(112, 120), Qt::white, 4);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(255, 255, 255, 60));
    // The server: a cylinder.
    const QRectF drum(120, 80, 34, 80);
    p.drawRect(drum.adjusted(0, 8, 0, -8));
    p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), 16));
    p.drawEllipse(QRectF(drum.left(), drum.bottom() - 16, drum.width(), 16));
    QFont font(QStringLiteral("Sans Serif"), 18, QFont::Bold);
    p.setFont(font);
    p.drawText(QRectF(0, 240, 164, 40), Qt::AlignCenter, QStringLiteral("Tabrix"));
    return pixmap;
}

QPixmap wizard_connect_frame(int frame) {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    for (int dot = 0; dot < 8; ++dot) {
        // The brightest dot runs round the circle, one step a frame.
        const int age = (frame - dot + 8) % 8;
        QColor color = deep;
        color.setAlpha(255 - age * 28);
        p.save();
        p.translate(24, 24);
        p.rotate(dot * 45.0);
        p.setBrush(color);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(0, -16), 4.5, 4.5);
        p.restore();
    }
    return pixmap;
}
