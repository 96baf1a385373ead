// SPDX-License-Identifier: MIT
#include "forms/qt/paint.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QStaticText>
#include <QString>
#include <QTextOption>
#include <cmath>
#include <unordered_map>

namespace forms::qt {

namespace {

// Whether a screen's density is a whole number: there each pixel of a
// bitmap becomes a whole square of the screen's pixels.
bool whole(qreal density) { return qFuzzyCompare(density, std::round(density)); }

// A picture at the density it is drawn at. At a whole density the bitmap
// that fits it evenly keeps the artwork crisp: the "@2x" one at twice the
// usual density (and four times), the usual one at three times. Between
// them the "@2x" one, the finer, is scaled smoothly.
const QPixmap& picture(std::string_view name, qreal density)
{
    static QHash<QString, QPixmap> loaded;
    QString file = text(name);
    const bool dense = whole(density) ? std::lround(density) % 2 == 0 : density > 1;
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
// Where the font it is drawn in is wider than the one it was designed for,
// it is set at the smaller size that fits its box.
struct Caption {
    QFont font;
    QStaticText text;
};

const Caption& caption(const Item& label, Rect client)
{
    static std::unordered_map<const ControlDesign*, Caption> laidOut;
    const ControlDesign& d = *label.design;
    auto it = laidOut.find(&d);
    if (it == laidOut.end()) {
        Caption c{font(d.font), QStaticText(text(d.caption))};
        c.font.setPixelSize(captionPixels(label, client, [&](int pixels) {
            QFont sized = c.font;
            sized.setPixelSize(pixels);
            const QFontMetricsF metrics(sized);
            const QRectF ink = metrics.tightBoundingRect(c.text.text());
            const qreal half = metrics.horizontalAdvance(c.text.text()) / 2, baseline = metrics.ascent();
            return Ink{ink.left() - half, baseline + ink.top(), ink.right() - half, baseline + ink.bottom()};
        }));
        c.text.setTextFormat(Qt::PlainText);
        c.text.setTextWidth(label.box.width);
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WordWrap);
        c.text.setTextOption(option);
        c.text.setPerformanceHint(QStaticText::AggressiveCaching);
        it = laidOut.emplace(&d, std::move(c)).first;
    }
    return it->second;
}

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

void paintItem(QPainter& painter, const Item& item, Rect client)
{
    const ControlDesign& d = *item.design;
    const QRect box = qrect(item.box);
    switch (d.kind) {
    case Kind::Label: {
        if (!d.transparent)
            painter.fillRect(box, colour(item.back));
        const Caption& c = caption(item, client);
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
        painter.setFont(c.font);
        painter.setPen(colour(item.fore));
        painter.drawStaticText(box.topLeft(), c.text);
        painter.restore();
        break;
    }
    case Kind::Image: {
        const qreal density = painter.device()->devicePixelRatioF();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !whole(density));
        painter.drawPixmap(box.topLeft(), picture(d.picture, density));
        break;
    }
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
            paintItem(painter, item, scene.client);
}

void paintForm(QPainter& painter, const Form& form, const QPalette& palette)
{
    paintScene(painter, scene(form, systemColours(palette)));
}

}  // namespace forms::qt
