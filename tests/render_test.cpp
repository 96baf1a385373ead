// SPDX-License-Identifier: MIT
// The duel and result windows as the player sees them, drawn offscreen, also
// on a screen of twice the usual density, and as a screen reader hears them.
#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QMetaEnum>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTransform>
#include <gtest/gtest.h>
#include <string>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "results/result_windows.h"

void PrintTo(QRect r, std::ostream* o) { *o << QDebug::toString(r).toStdString(); }
void PrintTo(QSize s, std::ostream* o) { *o << QDebug::toString(s).toStdString(); }

// Pixels exactly of a colour, or (yes = false) of any other; dark ones; text in a colour, antialiased.
static auto is(QColor want, bool yes = true) { return [=](QColor c) { return (c == want) == yes; }; }
static bool dark(QColor c) { return c.lightness() < 80; }
static auto tinted(QColor t) { return [=](QColor c) { return c.hue() == t.hue() && c.saturation() > 155; }; }

static QImage render(const forms::Form& form, qreal scale = 1)
{
    const forms::FormDesign& d = form.design();
    QImage image(QSize(forms::pixels(d.width), forms::pixels(d.height)) * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    forms::qt::paintForm(painter, form, QApplication::palette());
    return image;
}

// The smallest rectangle holding every matching pixel of the region.
static QRect extent(const QImage& image, const auto& match, QRect region = {0, 0, 600, 399})
{
    QRect found;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (image.valid(x, y) && match(image.pixelColor(x, y)))
                found |= QRect(x, y, 1, 1);
    return found;
}

// The duel window as drawn. Across it runs the rule, a solid 4-pixel black band. Each bubble lies in its box
// around its "ZIB!", centred in its label, in its colour, on white. Each set of pencil parts (pK1..pK4, and
// p01..p04 for the tenth) draws one whole pencil at its height, the lowest under the rule, which stays black
// across it; as designed, all ten show apart, each as it draws alone.
TEST(DuelRender, RuleBubblesAndPencilsInPlace)
{
    forms::Runtime rt, designedIn;
    auto& form = rt.instance<duel::frmzib>();
    const struct { const char* zib; QRect box, label; QRgb colour; } bubbles[] = {
        {"zibyou", {8, 256, 180, 110}, {24, 272, 145, 41}, 0xFF0000},
        {"ziboppo", {416, 264, 180, 110}, {432, 304, 145, 41}, 0x0000FF}};
    for (const auto& [zib, box, label, colour] : bubbles) {
        form.control(zib).Visible(true);
        const QImage image = render(form);
        EXPECT_EQ(extent(image, dark, {0, 230, 600, 20}), QRect(0, 238, 600, 4));
        EXPECT_TRUE(extent(image, is(Qt::black, false), {0, 238, 600, 4}).isNull());
        const QRect outline = extent(image, dark, box.adjusted(-6, -6, 6, 6));
        const QRect text = extent(image, tinted(colour), label.adjusted(-9, -9, 9, 9));
        EXPECT_TRUE(box.contains(outline)) << zib;
        EXPECT_TRUE(outline.adjusted(3, 3, -3, -3).contains(label)) << zib;
        EXPECT_TRUE(label.contains(text)) << zib;
        EXPECT_LE(qAbs(text.center().x() - label.center().x()), 3) << zib;
        EXPECT_TRUE(text.adjusted(-2, -2, 2, 2).contains(extent(image, is(Qt::white, false), label)));
    }
    const QImage designed = render(duel::frmzib(designedIn));
    for (int shown = 1; shown <= 10; ++shown) {
        SCOPED_TRACE(shown);
        for (int set = 1; set <= 10; ++set)
            for (int part = 1; part <= 4; ++part)
                form.control("p" + std::to_string(set % 10) + std::to_string(part)).Visible(set == shown);
        const QImage image = render(form);
        const int top = 8 + 24 * (shown - 1), bottom = qMin(top + 16, 237), fill = qMin(top + 15, 237);
        const QRect pencil(QPoint(72, top), QPoint(528, bottom)), row = pencil.adjusted(-72, -7, 71, 0);
        EXPECT_EQ(extent(image, is(Qt::white, false), row), pencil);
        EXPECT_EQ(extent(image, is(0xFFFF00)), QRect(QPoint(105, top + 1), QPoint(511, fill)));  // body
        EXPECT_EQ(extent(image, is(0xC04000)), QRect(QPoint(513, top + 1), QPoint(527, fill)));  // end square
        EXPECT_TRUE(dark(image.pixelColor(72, top + 8)));  // the tip
        EXPECT_TRUE(dark(image.pixelColor(300, top)));     // the body's outline
        EXPECT_TRUE(extent(image, is(Qt::black, false), {104, top + 16, 425, 1}).isNull());  // or the rule
        EXPECT_EQ(designed.copy(row), image.copy(row));  // the pencil, and the gap above it
    }
}

// Where two drawings differ: what the one drawn with something more puts on screen.
static QRect difference(const QImage& with, const QImage& without)
{
    QRect found;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, y) != without.pixel(x, y))
                found |= QRect(x, y, 1, 1);
    return found;
}

// Every caption stays inside its box, clear of the pixel along the edges where the box, the window or a button's
// frame would cut it off, at scale 1 and at a scale that is not whole: each label's drawn alone in whichever font
// stands in for the design's (in the result windows, one wider and taller than the design's), and each button's.
TEST(CaptionRender, EveryCaptionFitsItsBox)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    for (const qreal scale : {1.0, 1.5}) {
        // The pixels a box holds, less those along its edges, on a screen of this scale.
        const auto inside = [scale](QRect box) {
            return QTransform::fromScale(scale, scale).mapRect(QRectF(box.adjusted(1, 1, -1, -1))).toAlignedRect();
        };
        forms::Form* const windows[] = {&game, &rt.instance<results::frmWin>(), &rt.instance<results::frmLoose>()};
        for (forms::Form* form : windows) {
            const auto alone = [&](const forms::Control* shown) {
                for (forms::Control& c : form->controls())
                    if (c.kind() != forms::Kind::Timer)
                        c.Visible(&c == shown);
                return render(*form, scale);
            };
            const QImage bare = alone(nullptr);
            const QRect client = forms::qt::qrect(forms::scene(*form).client);
            for (const forms::Control& label : form->controls()) {
                if (label.kind() != forms::Kind::Label)
                    continue;
                const QRect box = inside(forms::qt::qrect(label.design().box) & client);
                const QRect ink = difference(alone(&label), bare);
                EXPECT_TRUE(box.contains(ink)) << form->design().name << '.' << label.design().name << " at "
                                               << scale << ": " << testing::PrintToString(ink) << " in "
                                               << testing::PrintToString(box);
            }
        }
        for (QPushButton* button : driver.window(game)->findChildren<QPushButton*>()) {
            QImage with(button->size() * scale, QImage::Format_RGB32), without(with);
            with.setDevicePixelRatio(scale);
            without.setDevicePixelRatio(scale);
            button->render(&with);
            const QString caption = button->text();
            button->setText({});
            button->render(&without);
            button->setText(caption);
            QStyleOptionButton frame;
            frame.initFrom(button);
            const QRect box = inside(button->style()->subElementRect(QStyle::SE_PushButtonContents, &frame, button));
            const QRect ink = difference(with, without);
            EXPECT_TRUE(box.contains(ink)) << caption.toStdString() << " at " << scale << ": "
                                           << testing::PrintToString(ink) << " in " << testing::PrintToString(box);
        }
    }
}

// What a screen reader finds from `element` down: each accessible element as its role, name and state.
static void listen(QAccessibleInterface* element, QStringList& heard)
{
    const QAccessible::State state = element->state();
    heard << QString("%1 %2%3%4%5").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(element->role()),
                                        element->text(QAccessible::Name), state.invisible ? " hidden" : "",
                                        state.disabled ? " disabled" : "", state.checked ? " checked" : "");
    for (int i = 0; i < element->childCount(); ++i)
        listen(element->child(i), heard);
}

// On screen the duel window has a fixed size and its buttons in place; each result window shows "You" over its
// outcome on its colour, frameless and fixed. A screen reader hears the duel window's title, its menus with the
// skill levels in order and their check marks, its buttons and painted labels in reading order (by tab index), a
// hidden one as hidden, and the result windows, each announced as a window named by what it says.
TEST(Accessibility, WindowsAsThePlayerSeesThemAndAScreenReaderHearsThem)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* duel = driver.window(game);
    ASSERT_TRUE(duel);
    EXPECT_EQ(duel->minimumSize(), duel->maximumSize());
    QStringList seen;  // each button's caption, place, size and bold font's size
    for (const QPushButton* b : duel->findChildren<QPushButton*>())
        seen << QString("%1 %2,%3 %4x%5 %6").arg(b->text()).arg(b->x()).arg(b->y())
                    .arg(b->width()).arg(b->height()).arg(b->font().bold() ? b->font().pixelSize() : 0);
    EXPECT_EQ(seen, QStringList({"ZIB! 208,304 193x57 37", "Start 264,256 33x33 0", "Stop 304,256 33x33 0"}));
    EXPECT_EQ(duel->findChild<QPushButton*>()->parentWidget()->size(), QSize(600, 399));  // client area

    driver.click(game.menuItem("mnuM"));
    QStringList heard;  // in the duel window, then in the result windows
    listen(QAccessible::queryAccessibleInterface(duel), heard);
    const struct { const forms::Form* form; QSize size; QRgb background, text; } outcomes[] = {
        {rt.start<results::frmWin>(), {216, 136}, 0x00FF00, 0xFF0000},
        {rt.start<results::frmLoose>(), {268, 121}, 0xFF0000, 0x00FF00}};
    for (const auto& [form, size, background, text] : outcomes) {
        QWidget* window = driver.window(*form);
        ASSERT_TRUE(window);
        listen(QAccessible::queryAccessibleInterface(window), heard);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(window->minimumSize(), size);
        EXPECT_EQ(window->maximumSize(), size);
        const QImage image = window->grab().toImage();
        const QRect all({0, 0}, size), upper(0, 0, size.width(), size.height() * 2 / 5);
        for (const QPoint corner : {all.topLeft(), all.topRight(), all.bottomLeft(), all.bottomRight()})
            EXPECT_TRUE(is(background)(image.pixelColor(corner))) << form->design().name;
        EXPECT_FALSE(extent(image, tinted(text), upper).isNull());
        EXPECT_FALSE(extent(image, tinted(text), upper.translated(0, size.height() * 7 / 10)).isNull());
    }
    EXPECT_EQ(heard.join(" | ").toStdString(),
              "Window Zib! | MenuBar  | MenuItem Skill | PopupMenu  hidden | MenuItem Very Easy hidden | MenuItem Easy "
              "hidden | MenuItem Medium hidden checked | MenuItem Hard hidden | MenuItem Very Hard hidden | MenuItem "
              "Quit | Client  | Button ZIB! disabled | Button Start | Button Stop disabled | StaticText ZIB! hidden | "
              "StaticText ZIB! hidden | StaticText Opponent | StaticText You | StaticText Select a Skill Level!! "
              "hidden | Window You Win!!! | Client  | StaticText You | StaticText Win!!! | Window You Loose!!! | "
              "Client  | StaticText You | StaticText Loose!!!");
}

// At twice the density the rule is 8 device pixels thick and the bubbles stay crisp: drawn from their
// double-size bitmaps, the player's, above the "You" label covering its lower edge, is only black and white
// and finer than the usual bitmap doubled. On a screen scaled by two (QT_SCALE_FACTOR=2, as a CTest entry runs
// it) the duel window's client area is 1200 x 798 device pixels, and 600 x 399 on a plain one. At a scale that is
// not whole the bubbles are scaled smoothly, their outlines shaded with greys, not enlarged pixel by pixel.
TEST(HighDensity, DuelWindowDrawsSharpAtWholeScalesAndSmoothBetween)
{
    forms::Runtime rt;
    const auto grey = [](QColor c) { return c.saturation() == 0 && c != Qt::black && c != Qt::white; };
    EXPECT_FALSE(extent(render(rt.instance<duel::frmzib>(), 1.5), grey, {12, 384, 270, 144}).isNull());
    const QImage image = render(rt.instance<duel::frmzib>(), 2);
    for (int y = 470; y < 490; ++y)  // clear of the pencil and the bubbles
        EXPECT_EQ(image.pixelColor(1100, y) == Qt::black, y >= 476 && y < 484) << y;
    const QImage bubble = image.copy(16, 512, 360, 192);  // 360 x 220 device pixels at (16, 512), above "You"
    EXPECT_EQ(bubble.convertToFormat(QImage::Format_Mono).convertToFormat(bubble.format()), bubble);
    EXPECT_NE(bubble.scaled(180, 96).scaled(360, 192), bubble);  // not the usual bitmap, doubled
    forms::Runtime shown;
    forms::qt::Driver driver(shown);
    QWidget* canvas = driver.window(*shown.start<duel::frmzib>())->findChild<QWidget*>("canvas");
    EXPECT_EQ(canvas ? canvas->grab().size() : QSize(), QSize(600, 399) * qApp->devicePixelRatio());
}
