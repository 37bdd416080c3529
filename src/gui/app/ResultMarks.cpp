#include "gui/app/ResultMarks.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <array>

namespace ka::ui {

namespace {

// Drawn on a grid of 32 so the marks stay sharp at any icon size; the style's stock icons
// differ between desktops and have nothing for "no difference" or "skipped".
constexpr int kSize = 32;

enum class Shape { Circle, Triangle, Diamond, Square, Ring };

void Base(Shape shape, const QColor& fill, QPainter& painter, QPixmap& pixmap) {
    pixmap = QPixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    painter.begin(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    switch (shape) {
        case Shape::Circle:
            painter.drawEllipse(QRectF(2, 2, 28, 28));
            break;
        case Shape::Triangle:
            painter.drawPolygon(QPolygonF({QPointF(16, 1), QPointF(31, 29), QPointF(1, 29)}));
            break;
        case Shape::Diamond:
            painter.drawPolygon(
                QPolygonF({QPointF(16, 0), QPointF(32, 16), QPointF(16, 32), QPointF(0, 16)}));
            break;
        case Shape::Square:
            painter.drawRoundedRect(QRectF(3, 3, 26, 26), 5, 5);
            break;
        case Shape::Ring:
            painter.setPen(QPen(fill, 3));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRectF(4, 4, 24, 24));
            break;
    }
}

QPen Stroke(const QColor& color = Qt::white) {
    return QPen(color, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Glyph(QPainter& painter, const QString& text, const QColor& color, const QRectF& box) {
    QFont font;
    font.setPixelSize(22);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, text);
}

QIcon Draw(ka::JobResult result) {
    QPixmap pixmap;
    QPainter painter;
    switch (result) {
        case ka::JobResult::Written:
            Base(Shape::Circle, QColor(0x2E, 0x7D, 0x32), painter, pixmap);
            painter.setPen(Stroke());
            painter.drawPolyline(QPolygonF({QPointF(9, 17), QPointF(14, 22), QPointF(23, 10)}));
            break;
        case ka::JobResult::NoDifference:
            Base(Shape::Circle, QColor(0x00, 0x83, 0x8F), painter, pixmap);
            painter.setPen(Stroke());
            painter.drawLine(QPointF(9, 12.5), QPointF(23, 12.5));
            painter.drawLine(QPointF(9, 19.5), QPointF(23, 19.5));
            break;
        case ka::JobResult::Shown:
            Base(Shape::Circle, QColor(0x15, 0x65, 0xC0), painter, pixmap);
            painter.setBrush(Qt::white);
            painter.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
            break;
        case ka::JobResult::Skipped:
            Base(Shape::Circle, QColor(0x75, 0x75, 0x75), painter, pixmap);
            painter.setPen(Stroke());
            painter.drawPolyline(QPolygonF({QPointF(8, 10), QPointF(14, 16), QPointF(8, 22)}));
            painter.drawPolyline(QPolygonF({QPointF(16, 10), QPointF(22, 16), QPointF(16, 22)}));
            break;
        case ka::JobResult::NoOutput:
            Base(Shape::Triangle, QColor(0xE6, 0x51, 0x00), painter, pixmap);
            painter.setPen(Stroke());
            painter.drawLine(QPointF(16, 11), QPointF(16, 19));
            painter.drawPoint(QPointF(16, 25));
            break;
        case ka::JobResult::Doubtful:
            Base(Shape::Diamond, QColor(0xF9, 0xA8, 0x25), painter, pixmap);
            Glyph(painter, QStringLiteral("?"), Qt::black, QRectF(0, 1, kSize, kSize));
            break;
        case ka::JobResult::NotRun:
            Base(Shape::Square, QColor(0xC6, 0x28, 0x28), painter, pixmap);
            painter.setPen(Stroke());
            painter.drawLine(QPointF(10, 10), QPointF(22, 22));
            painter.drawLine(QPointF(22, 10), QPointF(10, 22));
            break;
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QIcon ResultMarkIcon(ka::JobResult result) {
    static const std::array<QIcon, ka::kJobResultCount> icons = [] {
        std::array<QIcon, ka::kJobResultCount> made;
        for (std::size_t i = 0; i < made.size(); ++i)
            made[i] = Draw(static_cast<ka::JobResult>(i));
        return made;
    }();
    return icons[static_cast<std::size_t>(result)];
}

QIcon AsideMarkIcon() {
    static const QIcon icon = [] {
        QPixmap pixmap;
        QPainter painter;
        Base(Shape::Ring, QColor(0x75, 0x75, 0x75), painter, pixmap);
        painter.setPen(Stroke(QColor(0x75, 0x75, 0x75)));
        painter.drawLine(QPointF(11, 16), QPointF(21, 16));
        painter.end();
        return QIcon(pixmap);
    }();
    return icon;
}

QIcon ProgramIcon(bool jobsNotDone) {
    QPixmap pixmap;
    QPainter painter;
    Base(Shape::Square, QColor(0x1F, 0x4E, 0x8C), painter, pixmap);
    Glyph(painter, QStringLiteral("K"), Qt::white, QRectF(0, 0, kSize, kSize));
    if (jobsNotDone) {
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(0xC6, 0x28, 0x28));
        painter.drawEllipse(QRectF(19, 1, 12, 12));
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace ka::ui
