// SPDX-License-Identifier: MIT
#include "forms/qt/paint.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <cmath>
#include <ranges>

namespace forms::qt {

namespace {

// A picture at the density it is drawn at: on a screen of twice the usual
// density the "@2x" bitmap keeps the artwork crisp.
const QPixmap& picture(std::string_view name, qreal density)
{
    static QHash<QString, QPixmap> loaded;
    QString file = text(name);
    const bool dense = density > 1.5;
    if (dense)
        file.insert(file.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
    auto it = loaded.find(file);
    if (it == loaded.end()) {
        QPixmap pixmap(QStringLiteral(":/assets/") + file);
        if (dense)
            pixmap.setDevicePixelRatio(2);
        it = loaded.insert(file, pixmap);
    }
    return *it;
}

void paintControl(QPainter& painter, const Control& control, const QPalette& palette)
{
    const ControlDesign& d = control.design();
    switch (d.kind) {
    case Kind::Label: {
        const QRect box = pixels(d.box);
        if (!d.transparent)
            painter.fillRect(box, colour(d.backColour, palette));
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
        painter.setFont(font(d.font));
        painter.setPen(colour(d.foreColour, palette));
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text(d.caption));
        painter.restore();
        break;
    }
    case Kind::Image:
        painter.drawPixmap(pixels(d.box.left), pixels(d.box.top),
                           picture(d.picture, painter.device()->devicePixelRatioF()));
        break;
    case Kind::Shape: {
        // The border lies inside the shape's box.
        const QRect box = pixels(d.box);
        painter.fillRect(box, colour(d.backColour, palette));
        painter.setPen(QPen(colour(d.foreColour, palette), d.lineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        break;
    }
    case Kind::Line:
        painter.setPen(QPen(colour(d.foreColour, palette), d.lineWidth, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPoint(pixels(d.box.left), pixels(d.box.top)),
                         QPoint(pixels(d.box.width), pixels(d.box.height)));
        break;
    case Kind::CommandButton:
    case Kind::Timer:
        break;
    }
}

}  // namespace

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QRect pixels(const Box& box) { return {pixels(box.left), pixels(box.top), pixels(box.width), pixels(box.height)}; }

QColor colour(Colour colour, const QPalette& palette)
{
    switch (colour.system) {
    case SystemColour::HighlightText:
        return palette.color(QPalette::HighlightedText);
    case SystemColour::WindowText:
        return palette.color(QPalette::WindowText);
    case SystemColour::None:
        break;
    }
    return QColor::fromRgb(static_cast<QRgb>(colour.rgb));
}

QFont font(const Font& design)
{
    // The window's default font is a small dialog font, 8 points.
    const double points = design.family.empty() ? 8 : design.points;
    QFont f = design.family.empty() ? QFont() : QFont(text(design.family));
    f.setPixelSize(static_cast<int>(std::lround(points * 96 / 72)));
    f.setBold(design.bold);
    return f;
}

void paintForm(QPainter& painter, const Form& form, const QPalette& palette)
{
    const FormDesign& d = form.design();
    const QRect client(0, 0, pixels(d.width), pixels(d.height));
    // Controls reaching past the window's edges are clipped there.
    painter.setClipRect(client);
    painter.fillRect(client, colour(d.backColour, palette));
    for (const Control& control : std::views::reverse(form.controls())) {
        if (control.kind() == Kind::Timer || control.kind() == Kind::CommandButton || !control.Visible())
            continue;
        paintControl(painter, control, palette);
    }
}

}  // namespace forms::qt
