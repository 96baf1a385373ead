// SPDX-License-Identifier: MIT
// The game's windows as the player sees them through the real driver: a duel
// frame by frame, every caption in its box, the duel window on a screen of
// twice the usual density and of one between, the windows as they open and
// close and as a screen reader hears them, and the window system the game
// picks.
#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QMenu>
#include <QMenuBar>
#include <QMetaEnum>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTransform>
#include <gtest/gtest.h>

#include "app/platform.h"
#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "game_play.h"
#include "results/result_windows.h"

void PrintTo(QRect r, std::ostream* o) { *o << QDebug::toString(r).toStdString(); }

namespace {

using std::chrono::milliseconds;

// Pixels exactly of a colour, or (yes = false) of any other; dark ones; text in a colour, antialiased.
auto is(QColor want, bool yes = true) { return [=](QColor c) { return (c == want) == yes; }; }
bool dark(QColor c) { return c.lightness() < 80; }
auto tinted(QColor t) { return [=](QColor c) { return c.hue() == t.hue() && c.saturation() > 155; }; }

// The form's client area as the Qt backend paints it, on a screen of this scale.
QImage render(const forms::Form& form, qreal scale = 1)
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
QRect extent(const QImage& image, const auto& match, QRect region = {0, 0, 600, 399})
{
    QRect found;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (image.valid(x, y) && match(image.pixelColor(x, y)))
                found |= QRect(x, y, 1, 1);
    return found;
}

// Where two drawings differ: what the one drawn with something more puts on screen.
QRect difference(QImage with, const QImage& without)
{
    QPainter painter(&with);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.drawImage(0, 0, without);
    painter.end();
    return extent(with, is(Qt::black, false), with.rect());
}

// What the watched objects ask of the window system, added up since the last look: the windows shown, as it would
// be asked to map them, and the area each paint covers.
struct Watch : QObject {
    int shown = 0, painted = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        shown += event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow();
        if (event->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                painted += r.width() * r.height();
        return false;
    }
};

// A Very Hard duel through the real driver, on the runtime's clock from Start: each drop step, the draw, the
// opponent's answer, then a press made 1 ms before him that reaches the game only now, which puts the duel back
// and plays it again from the press. After each, the canvas on screen (Qt's offscreen backing store) equals the
// canvas drawn afresh, and around its buttons the form as it is now; a drop step has drawn at most a tenth of it:
// the pencil's two rows. The pencil stands whole at each height in turn (the parts pK1..pK4 at the Kth, p01..p04
// at the tenth), its body yellow, its end square brown, its tip and outline dark, and nothing else is drawn above
// the rule, a solid 4-pixel black band drawn across the foot of the lowest pencil. At the end each bubble lies in
// its box around its "ZIB!", centred in its label, in its colour.
TEST(Frames, ADuelStepByStepRedrawsOnlyWhatChangedAndLeavesNoTrail)
{
    play::Game game;
    // The driver goes on in real time from here; the game's clock, moved on by hand, stays a second ahead of it,
    // so every frame comes from a step the test takes.
    forms::qt::Driver driver(game.rt);
    game.at(play::startUpHandBack);
    game.use("mnuVH");
    game.use("cbStart");
    QWidget* window = driver.window(game.form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QWidget* canvas = window->findChild<QWidget*>("canvas");
    Watch watch;
    canvas->installEventFilter(&watch);

    // The canvas as shown, and without the buttons, which the form's own drawing leaves out.
    const auto onScreen = [&] {
        const QPixmap all = window->screen()->grabWindow(window->winId());
        const qreal density = all.devicePixelRatio();
        const QRect area(canvas->mapTo(window, QPoint()) * density, canvas->size() * density);
        return all.copy(area).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto withoutButtons = [&](QImage image) {
        QPainter painter(&image);
        for (const QWidget* button : canvas->findChildren<QPushButton*>())
            painter.fillRect(button->geometry(), Qt::magenta);
        return image;
    };
    QImage shown;
    for (int event = 0; event <= 12; ++event) {
        SCOPED_TRACE(event);
        watch.painted = 0;
        if (event == 12)
            game.rt.input(forms::Target::of(game.form.control("Zib")), game.rt.now() - milliseconds(1));
        else if (event > 0)
            game.rt.advance(milliseconds(event == 11 ? play::reaction("mnuVH") : play::dropStep));
        QCoreApplication::processEvents();
        if (event > 0 && event < 10) {
            EXPECT_LE(watch.painted, canvas->width() * canvas->height() / 10);
        }
        shown = onScreen();
        EXPECT_EQ(withoutButtons(shown), withoutButtons(render(game.form)));
        const int top = 8 + 24 * std::min(event, 9), bottom = qMin(top + 16, 237), fill = qMin(top + 15, 237);
        EXPECT_EQ(extent(shown, is(Qt::white, false), {0, 0, 600, 238}), QRect(QPoint(72, top), QPoint(528, bottom)));
        EXPECT_EQ(extent(shown, is(0xFFFF00)), QRect(QPoint(105, top + 1), QPoint(511, fill)));  // body
        EXPECT_EQ(extent(shown, is(0xC04000)), QRect(QPoint(513, top + 1), QPoint(527, fill)));  // end square
        EXPECT_TRUE(dark(shown.pixelColor(72, top + 8)) && dark(shown.pixelColor(300, top)));  // tip, outline
    }
    EXPECT_EQ(extent(shown, dark, {0, 238, 600, 12}), QRect(0, 238, 600, 4));  // the rule
    EXPECT_TRUE(extent(shown, is(Qt::black, false), {0, 238, 600, 4}).isNull());
    const struct { const char* zib; QRect box, label; QRgb colour; } bubbles[] = {
        {"zibyou", {8, 256, 180, 110}, {24, 272, 145, 41}, 0xFF0000},
        {"ziboppo", {416, 264, 180, 110}, {432, 304, 145, 41}, 0x0000FF}};
    for (const auto& [zib, box, label, colour] : bubbles) {
        const QRect text = extent(shown, tinted(colour), label.adjusted(-9, -9, 9, 9));
        EXPECT_TRUE(box.contains(extent(shown, dark, box.adjusted(-6, -6, 6, 6)))) << zib;  // the outline
        EXPECT_TRUE(label.contains(text)) << zib;
        EXPECT_LE(qAbs(text.center().x() - label.center().x()), 3) << zib;
    }
}

// Each label's caption, drawn alone in whichever font stands in for the design's (in the result windows, one
// wider and taller than the design's), stays inside its box, clear of the pixel along the edges where the box or
// the window would cut it off, at scale 1 and at a scale that is not whole.
TEST(CaptionRender, EveryCaptionFitsItsBox)
{
    forms::Runtime rt;
    forms::Form* const windows[] = {&rt.instance<duel::frmzib>(), &rt.instance<results::frmWin>(),
                                    &rt.instance<results::frmLoose>()};
    for (const qreal scale : {1.0, 1.5})
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
                const QRectF box((forms::qt::qrect(label.design().box) & client).adjusted(1, 1, -1, -1));
                const QRect inside = QTransform::fromScale(scale, scale).mapRect(box).toAlignedRect();
                EXPECT_EQ(inside | difference(alone(&label), bare), inside)
                    << form->design().name << '.' << label.design().name << " at " << scale;
            }
        }
}

// At twice the density the rule is 8 device pixels thick and the bubbles stay crisp: drawn from their
// double-size bitmaps, the player's, above the "You" label covering its lower edge, is only black and white
// and finer than the usual bitmap doubled. At a scale that is not whole the bubbles are scaled smoothly, their
// outlines shaded with greys, not enlarged pixel by pixel.
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
}

// What a screen reader finds from `element` down: each accessible element as its role, name and state.
void listen(QAccessibleInterface* element, QStringList& heard)
{
    const QAccessible::State state = element->state();
    heard << QString("%1 %2%3%4%5").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(element->role()),
                                        element->text(QAccessible::Name), state.invisible ? " hidden" : "",
                                        state.disabled ? " disabled" : "", state.checked ? " checked" : "");
    for (int i = 0; i < element->childCount(); ++i)
        listen(element->child(i), heard);
}

// How far the window, frame and all, is from the middle of the screen, in the larger of the two directions.
int offCentre(const QWidget* window)
{
    const QPoint off = window->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    return std::max(std::abs(off.x()), std::abs(off.y()));
}

// The duel window with one fault: a click on its Skill menu title, which only a test can make, sets the
// warning label's interval, a run-time error.
struct FaultyDuel : duel::frmzib {
    explicit FaultyDuel(forms::Runtime& rt) : frmzib(rt) { on(menuItem("mnuSkill"), &FaultyDuel::fail); }
    void fail() { control("noskill").Interval(1); }
};

TEST(Windows, AsThePlayerSeesThemAndAScreenReaderHearsThem)
{
    // The duel window opens centred, fixed in size, its buttons in place. Nothing else flashes up, though both result
    // windows are made once it is drawn, ready to show. Each result window shows centred, frameless, at its size, on
    // its colour, and a close request leaves it on screen: its own timer hands the duel window back. A screen reader
    // hears the duel window's title, its menus with the skill levels in order and their check marks (the level chosen
    // stays ticked when chosen again, though Qt unticks it), its buttons and painted labels in reading order (by tab
    // index), a hidden one as hidden, and each result window as a window named by what it says. A run-time error ends
    // the driver's run with status 1 and leaves no window on screen. On a screen scaled by two (QT_SCALE_FACTOR=2, as a
    // CTest entry runs it) the duel window's client area is 1200 x 798 device pixels, and 600 x 399 on a plain one.
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<FaultyDuel>();
    QWidget* duel = driver.window(game);
    ASSERT_TRUE(duel);
    Watch watch;
    qApp->installEventFilter(&watch);
    const auto made = [&](const char* name) { return rt.find(name) && driver.window(*rt.find(name)); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return made("frmWin") && made("frmLoose"); }));
    EXPECT_EQ(watch.shown, 0);
    EXPECT_LE(offCentre(duel), 2);
    EXPECT_EQ(duel->minimumSize(), duel->maximumSize());
    QStringList seen;  // each button's caption, place, size and bold font's size
    for (const QPushButton* b : duel->findChildren<QPushButton*>())
        seen << QString("%1 %2,%3 %4x%5 %6").arg(b->text()).arg(b->x()).arg(b->y())
                    .arg(b->width()).arg(b->height()).arg(b->font().bold() ? b->font().pixelSize() : 0);
    EXPECT_EQ(seen, QStringList({"ZIB! 208,304 193x57 37", "Start 264,256 33x33 0", "Stop 304,256 33x33 0"}));
    EXPECT_EQ(duel->findChild<QWidget*>("canvas")->grab().size(), QSize(600, 399) * qApp->devicePixelRatio());
    QAction* medium = duel->findChild<QMenuBar*>()->actions().constFirst()->menu()->actions()[2];
    medium->trigger();
    medium->trigger();

    QStringList heard;  // in the duel window, then in the result windows
    listen(QAccessible::queryAccessibleInterface(duel), heard);
    const struct { const forms::Form* form; QSize size; QRgb colour; } outcomes[] = {
        {rt.start<results::frmWin>(), {216, 136}, 0x00FF00}, {rt.start<results::frmLoose>(), {268, 121}, 0xFF0000}};
    for (const auto& [form, size, colour] : outcomes) {
        QWidget* window = driver.window(*form);
        ASSERT_TRUE(window);
        listen(QAccessible::queryAccessibleInterface(window), heard);
        window->close();
        EXPECT_TRUE(window->isVisible());
        EXPECT_LE(offCentre(window), 2);
        EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(window->size(), size);
        EXPECT_EQ(window->grab().toImage().pixelColor(0, 0), QColor(colour));
    }
    EXPECT_EQ(heard.join(" | ").toStdString(),
              "Window Zib! | MenuBar  | MenuItem Skill | PopupMenu  hidden | MenuItem Very Easy hidden | MenuItem Easy "
              "hidden | MenuItem Medium hidden checked | MenuItem Hard hidden | MenuItem Very Hard hidden | MenuItem "
              "Quit | Client  | Button ZIB! disabled | Button Start | Button Stop disabled | StaticText ZIB! hidden | "
              "StaticText ZIB! hidden | StaticText Opponent | StaticText You | StaticText Select a Skill Level!! "
              "hidden | Window You Win!!! | Client  | StaticText You | StaticText Win!!! | Window You Loose!!! | "
              "Client  | StaticText You | StaticText Loose!!!");

    QTimer::singleShot(0, &driver, [&] { driver.click(game.menuItem("mnuSkill")); });
    EXPECT_EQ(driver.exec(), 1);
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    EXPECT_EQ(watch.shown, 2);
}

TEST(Display, TheGameTakesX11WhereWaylandIsOfferedToo)
{
    // Wayland cannot centre windows. A platform asked for is kept; with no display at all the game stops. Each
    // case: QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY as set (null: unset), then the platform chosen, if any.
    const char* cases[][4] = {{nullptr, ":0", "wayland-0", "xcb"}, {"", ":0", "wayland-0", "xcb"},
                              {nullptr, ":0", nullptr, ""}, {nullptr, "", "wayland-0", ""},
                              {"wayland", ":0", "wayland-0", "wayland"}, {nullptr, "", nullptr, nullptr}};
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) c[i] ? qputenv(names[i], c[i]) : qunsetenv(names[i]);
        EXPECT_EQ(zib::useDisplay(), c[3] != nullptr) << c[1] << " " << (c[2] ? c[2] : "-");
        EXPECT_EQ(qgetenv(names[0]), c[3] ? c[3] : "") << c[1] << " " << (c[2] ? c[2] : "-");
    }
    qputenv(names[0], "offscreen");  // as the tests run
}

}  // namespace
