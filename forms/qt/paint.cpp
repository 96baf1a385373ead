// SPDX-License-Identifier: MIT
#include "forms/qt/paint.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QStaticText>
#include <QString>
#include <QTextOption>
#include <unordered_map>

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

// A label's caption, laid out the first time it is drawn: captions never
// change, so no later frame shapes the text or breaks it into lines again.
struct Caption {
    QFont font;
    QStaticText text;
};

const Caption& caption(const ControlDesign& d)
{
    static std::unordered_map<const ControlDesign*, Caption> laidOut;
    auto it = laidOut.find(&d);
    if (it == laidOut.end()) {
        Caption c{font(d.font), QStaticText(text(d.caption))};
        c.text.setTextFormat(Qt::PlainText);
        c.text.setTextWidth(forms::pixels(d.box).width);
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WordWrap);
        c.text.setTextOption(option);
        c.text.setPerformanceHint(QStaticText::AggressiveCaching);
        it = laidOut.emplace(&d, std::move(c)).first;
    }
    return it->second;
}

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

void paintItem(QPainter& painter, const Item& item)
{
    const ControlDesign& d = *item.design;
    const QRect box = qrect(item.box);
    switch (d.kind) {
    case Kind::Label: {
        if (!d.transparent)
            painter.fillRect(box, colour(item.back));
        const Caption& c = caption(d);
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
        painter.setFont(c.font);
        painter.setPen(colour(item.fore));
        painter.drawStaticText(box.topLeft(), c.text);
        painter.restore();
        break;
    }
    case Kind::Image:
        painter.drawPixmap(box.topLeft(), picture(d.picture, painter.device()->devicePixelRatioF()));
        break;
    case Kind::Shape: {
        // The border lies inside the shape's box. Drawn as two fills, the
        // cheapest thing to draw.
        const int w = d.lineWidth;
        painter.fillRect(box, colour(item.fore));
        painter.fillRect(box.adjusted(w, w, -w, -w), colour(item.back));
        break;
    }
    case Kind::Line:
        painter.setPen(QPen(colour(item.fore), d.lineWidth, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPoint(item.from.x, item.from.y), QPoint(item.to.x, item.to.y));
        break;
    case Kind::CommandButton:
    case Kind::Timer:
        break;
    }
}

}  // namespace

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

SystemColours systemColours(const QPalette& palette)
{
    return {.highlightText = palette.color(QPalette::HighlightedText).rgb() & 0xFFFFFFu,
            .windowText = palette.color(QPalette::WindowText).rgb() & 0xFFFFFFu};
}

QFont font(const Font& design)
{
    QFont f = design.family.empty() ? QFont() : QFont(text(design.family));
    f.setPixelSize(fontPixels(design));
    f.setBold(design.bold);
    return f;
}

void paintScene(QPainter& painter, const Scene& scene, const QRect& exposed)
{
    const QRect client = qrect(scene.client);
    // Controls reaching past the window's edges are clipped there.
    const QRect area = exposed.isNull() ? client : client & exposed;
    painter.setClipRect(area);
    painter.fillRect(area, colour(scene.background));
    const Rect box{area.x(), area.y(), area.width(), area.height()};
    for (const Item& item : scene.items)
        if (item.visible && item.kind() != Kind::CommandButton && item.box.intersects(box))
            paintItem(painter, item);
}

void paintForm(QPainter& painter, const Form& form, const QPalette& palette)
{
    paintScene(painter, scene(form, systemColours(palette)));
}

}  // namespace forms::qt
