// SPDX-License-Identifier: MIT
// The duel and result windows as the player sees them, drawn offscreen.
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <string>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "results/result_windows.h"

void PrintTo(const QRect& r, std::ostream* out) { *out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height(); }

namespace {

using Pixel = std::function<bool(QColor)>;
bool is(QColor c, QRgb rgb) { return c.rgb() == (rgb | 0xFF000000u); }
const Pixel dark = [](QColor c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; };
const Pixel white = [](QColor c) { return is(c, 0xFFFFFF); };
const Pixel inked = [](QColor c) { return !is(c, 0xFFFFFF); };
const Pixel notBlack = [](QColor c) { return !is(c, 0x000000); };
const Pixel yellow = [](QColor c) { return is(c, 0xFFFF00); };
const Pixel endBrown = [](QColor c) { return is(c, 0xC04000); };
const Pixel red = [](QColor c) { return c.red() > 160 && c.green() < 100 && c.blue() < 100; };
const Pixel green = [](QColor c) { return c.green() > 160 && c.red() < 100 && c.blue() < 100; };
const Pixel blue = [](QColor c) { return c.blue() > 160 && c.red() < 100 && c.green() < 100; };

QImage render(const forms::Form& form, QSize size = {600, 399})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    forms::qt::paintForm(painter, form, QApplication::palette());
    return image;
}

// The smallest rectangle holding every matching pixel of the region.
QRect extent(const QImage& image, const Pixel& match, QRect region = {})
{
    region = region.isNull() ? image.rect() : region & image.rect();
    QRect found;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (match(image.pixelColor(x, y)))
                found |= QRect(x, y, 1, 1);
    return found;
}

// Set K of pencil parts is pK1..pK4, and p01..p04 for the tenth.
void showSet(forms::Form& form, int set, bool visible)
{
    for (int piece = 1; piece <= 4; ++piece)
        form.control("p" + std::to_string(set % 10) + std::to_string(piece)).Visible(visible);
}
// The window with only the given sets of pencil parts showing.
QImage withPencils(forms::Form& form, std::initializer_list<int> sets)
{
    for (int set = 1; set <= 10; ++set)
        showSet(form, set, std::ranges::find(sets, set) != sets.end());
    return render(form);
}
int bodyTop(int set) { return 8 + 24 * (set - 1); }
const auto byName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace

// The rule under the pencils is a solid 4-pixel black band across the whole window.
TEST(DuelRender, RuleIsAFourPixelBlackBandAcrossTheWidth)
{
    forms::Runtime rt;
    const QImage image = render(rt.instance<duel::frmzib>());
    EXPECT_EQ(extent(image, dark, {0, 230, 600, 20}), QRect(0, 238, 600, 4));
    EXPECT_TRUE(extent(image, notBlack, {0, 238, 600, 4}).isNull());
}

struct Bubble {
    const char* name;
    QRect box;
    const char* zib;
    QRect zibBox;
    Pixel colour;
};
void PrintTo(const Bubble& bubble, std::ostream* out) { *out << bubble.name; }
class BubbleRender : public testing::TestWithParam<Bubble> {};

// Each speech bubble fills its box; its "ZIB!" shows only once made visible, in colour, on white within the outline.
TEST_P(BubbleRender, ShowsItsBubbleAndItsZibInside)
{
    forms::Runtime rt;
    auto& form = rt.instance<duel::frmzib>();
    const auto& [name, box, zib, zibBox, colour] = GetParam();
    const QImage idle = render(form);
    const QRect outline = extent(idle, dark, box.adjusted(-6, -6, 6, 6));
    EXPECT_TRUE(box.contains(outline));
    EXPECT_GT(outline.width(), box.width() * 9 / 10);
    EXPECT_GT(outline.height(), box.height() * 9 / 10);
    EXPECT_TRUE(white(idle.pixelColor(box.center())));
    EXPECT_TRUE(extent(idle, colour, zibBox.adjusted(-12, -12, 12, 12)).isNull()) << zib << " shows while idle";

    form.control(zib).Visible(true);
    const QImage image = render(form);
    const QRect text = extent(image, colour, zibBox.adjusted(-12, -12, 12, 12));
    ASSERT_FALSE(text.isNull());
    EXPECT_TRUE(zibBox.contains(text));
    EXPECT_NEAR(text.center().x(), zibBox.center().x(), 3);  // centred across its label
    const QRect ring = text.adjusted(-3, -3, 3, 3);
    for (const QRect& edge : {QRect(ring.topLeft(), ring.topRight()), QRect(ring.bottomLeft(), ring.bottomRight()),
                              QRect(ring.topLeft(), ring.bottomLeft()), QRect(ring.topRight(), ring.bottomRight())})
        EXPECT_TRUE(extent(image, inked, edge).isNull());
    const QPoint c = zibBox.center();  // the outline lies beyond the label on all four sides
    for (const QRect& beyond : {QRect(QPoint(box.left(), c.y()), QPoint(zibBox.left(), c.y())),
                                QRect(QPoint(zibBox.right(), c.y()), QPoint(box.right(), c.y())),
                                QRect(QPoint(c.x(), box.top()), QPoint(c.x(), zibBox.top())),
                                QRect(QPoint(c.x(), zibBox.bottom()), QPoint(c.x(), box.bottom()))})
        EXPECT_FALSE(extent(image, dark, beyond).isNull()) << testing::PrintToString(beyond);

    form.control(name).Visible(false);
    form.control(zib).Visible(false);
    EXPECT_TRUE(extent(render(form), dark, box).isNull());
}
INSTANTIATE_TEST_SUITE_P(Duel, BubbleRender,
                         testing::Values(Bubble{"Image1", {8, 256, 180, 110}, "zibyou", {24, 272, 145, 41}, red},
                                         Bubble{"Image2", {416, 264, 180, 110}, "ziboppo", {432, 304, 145, 41}, blue}),
                         byName);

class PencilRender : public testing::TestWithParam<int> {};

// Showing one set of pencil parts draws one whole pencil at that height.
TEST_P(PencilRender, OneSetDrawsOnePencilAtItsHeight)
{
    forms::Runtime rt;
    auto& form = rt.instance<duel::frmzib>();
    const int top = bodyTop(GetParam());
    const QImage image = withPencils(form, {GetParam()});
    // The lowest pencil lies on the rule, which stays black over its lower edge.
    EXPECT_EQ(extent(image, yellow), QRect(QPoint(105, top + 1), QPoint(511, std::min(top + 15, 237))));
    EXPECT_TRUE(extent(image, notBlack, {104, top + 16, 425, 1}).isNull());
    EXPECT_TRUE(dark(image.pixelColor(300, top)));
    const QRect end = extent(image, endBrown);
    EXPECT_TRUE(QRect(QPoint(512, top), QPoint(528, top + 16)).contains(end));
    EXPECT_GT(end.width(), 12);
    const QRect pencil = extent(image, inked, QRect(QPoint(0, top - 4), QPoint(599, std::min(top + 20, 237))));
    EXPECT_EQ(pencil, QRect(QPoint(72, top), QPoint(528, std::min(top + 16, 237))));
    EXPECT_TRUE(dark(image.pixelColor(72, top + 8)));
}
INSTANTIATE_TEST_SUITE_P(Duel, PencilRender, testing::Range(1, 11));

// Two sets shown together are two separate pencils; hiding one leaves the other as it was.
TEST(DuelRender, TwoPencilsDrawApartAndHideIndependently)
{
    forms::Runtime rt;
    auto& form = rt.instance<duel::frmzib>();
    const QImage first = withPencils(form, {1}), last = withPencils(form, {10}), both = withPencils(form, {1, 10});
    EXPECT_TRUE(yellow(both.pixelColor(300, bodyTop(1) + 8)) && yellow(both.pixelColor(300, bodyTop(10) + 8)));
    EXPECT_TRUE(extent(both, inked, {0, bodyTop(1) + 17, 600, bodyTop(10) - bodyTop(1) - 17}).isNull());
    showSet(form, 10, false);
    EXPECT_EQ(render(form), first);
    showSet(form, 10, true);
    showSet(form, 1, false);
    EXPECT_EQ(render(form), last);
}

// As designed, before the window's start-up hides them, all ten pencils show.
TEST(DuelRender, DesignShowsAllTenPencils)
{
    forms::Runtime rt;
    const duel::frmzib designed(rt);
    const QImage image = render(designed);
    for (int set = 1; set <= 10; ++set) {
        EXPECT_TRUE(dark(image.pixelColor(300, bodyTop(set))) && yellow(image.pixelColor(300, bodyTop(set) + 8)));
        EXPECT_EQ(extent(image, dark, {0, bodyTop(set) + 8, 90, 1}).left(), 72) << set;
    }
}

// The duel window on screen: its title, fixed size, menus and buttons in place.
TEST(DuelWindow, HasTitleMenusAndButtonsInPlace)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    QWidget* window = driver.window(*rt.start<duel::frmzib>());
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Zib!");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    auto* bar = window->findChild<QMenuBar*>();
    ASSERT_TRUE(bar && bar->actions().size() == 2);
    EXPECT_EQ(bar->actions()[0]->text() + "|" + bar->actions()[1]->text(), "Skill|Quit");
    QStringList levels;  // a check mark would show as "*"
    for (QAction* level : bar->actions()[0]->menu()->actions())
        levels << level->text() + (level->isChecked() ? "*" : "");
    EXPECT_EQ(levels, QStringList({"Very Easy", "Easy", "Medium", "Hard", "Very Hard"}));

    const auto found = window->findChildren<QPushButton*>();
    ASSERT_EQ(found.size(), 3);
    const std::pair<QString, QRect> buttons[] = {
        {"ZIB!", {208, 304, 193, 57}}, {"Start", {264, 256, 33, 33}}, {"Stop", {304, 256, 33, 33}}};
    for (const auto& [caption, place] : buttons) {
        const auto it = std::ranges::find(found, caption, &QPushButton::text);
        ASSERT_NE(it, found.end()) << caption.toStdString();
        EXPECT_EQ((*it)->geometry(), place) << caption.toStdString();
        EXPECT_EQ((*it)->parentWidget()->size(), QSize(600, 399));  // the client area
        EXPECT_EQ((*it)->font().bold() && (*it)->font().pixelSize() == 37, caption == "ZIB!");
    }
}

template <class F>
forms::Form* start(forms::Runtime& rt) { return rt.start<F>(); }
struct Result {
    const char* name;
    forms::Form* (*start)(forms::Runtime&);
    QSize size;
    QRgb background;
    Pixel text;
};
void PrintTo(const Result& result, std::ostream* out) { *out << result.name; }
class ResultRender : public testing::TestWithParam<Result> {};

// A result window draws "You" and its outcome on its colour, and shows exactly that, frameless and fixed.
TEST_P(ResultRender, DrawsBothLinesOnItsBackgroundInAFixedFramelessWindow)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    const auto& [name, start, size, background, text] = GetParam();
    const forms::Form* form = start(rt);
    const QImage image = render(*form, size);
    const QRect all = image.rect();
    for (QPoint corner : {all.topLeft(), all.topRight(), all.bottomLeft(), all.bottomRight()})
        EXPECT_TRUE(is(image.pixelColor(corner), background)) << corner.x() << "," << corner.y();
    EXPECT_FALSE(extent(image, text, {0, 0, size.width(), size.height() * 2 / 5}).isNull());
    EXPECT_FALSE(extent(image, text, {0, size.height() * 7 / 10, size.width(), size.height()}).isNull());

    QWidget* window = driver.window(*form);
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->minimumSize(), size);
    EXPECT_EQ(window->maximumSize(), size);
    EXPECT_EQ(window->grab().toImage().convertToFormat(QImage::Format_RGB32), image);
}
INSTANTIATE_TEST_SUITE_P(
    Results, ResultRender,
    testing::Values(Result{"Win", start<results::frmWin>, {216, 136}, 0x00FF00, red},
                    Result{"Loose", start<results::frmLoose>, {268, 121}, 0xFF0000, green}),
    byName);
