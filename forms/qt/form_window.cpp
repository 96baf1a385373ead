// SPDX-License-Identifier: MIT
#include "forms/qt/form_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QInputEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "forms/qt/window_frame.h"

namespace forms::qt {

namespace {

Qt::WindowFlags flagsFor(const FormDesign& design)
{
    // A borderless window kept out of the task bar is a splash-type window:
    // a utility window would be hidden by some window managers while the
    // application is not active.
    if (design.border == Border::None)
        return (design.showInTaskbar ? Qt::Window : Qt::SplashScreen) | Qt::FramelessWindowHint;
    // A fixed single border: a title bar with minimise and close, no maximise.
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
}

// A widget that keeps the window system's stamp of the input event it is
// handling, so that a click the event triggers counts at the moment the
// player made it.
template <class Widget>
class Stamped : public Widget {
public:
    using Widget::Widget;
    std::optional<std::uint64_t> stamp() const { return stamp_; }

protected:
    bool event(QEvent* event) override
    {
        if (!event->isInputEvent())
            return Widget::event(event);
        const auto outer = stamp_;
        stamp_ = static_cast<QInputEvent*>(event)->timestamp();
        const bool done = Widget::event(event);
        stamp_ = outer;
        return done;
    }

private:
    std::optional<std::uint64_t> stamp_;
};

}  // namespace

Canvas::Canvas(const FormDesign& design, QWidget* parent) : QWidget(parent), design_(&design)
{
    setObjectName(QStringLiteral("canvas"));
    setFixedSize(forms::pixels(design.width), forms::pixels(design.height));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Canvas::paintEvent(QPaintEvent* event)
{
    if (!form_)
        return;
    if (firstPaint_ && isVisible())
        std::exchange(firstPaint_, nullptr)();
    QPainter painter(this);
    paintScene(painter, scene_, event->rect());
}

FormWindow::FormWindow(Driver& driver, const FormDesign& design)
    : QWidget(nullptr, flagsFor(design)), driver_(driver)
{
    setWindowTitle(text(design.caption));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the player cannot resize it

    if (!design.menus.empty()) {
        auto* bar = new Stamped<QMenuBar>(this);
        bar->setNativeMenuBar(false);  // the menu belongs above the window's client area
        std::map<std::string_view, Stamped<QMenu>*> submenus;
        for (std::size_t i = 0; i < design.menus.size(); ++i) {
            const MenuDesign& d = design.menus[i];
            if (opensSubmenu(design, d)) {
                auto* menu = new Stamped<QMenu>(text(d.caption), bar);
                menu->installEventFilter(this);
                bar->addMenu(menu);
                submenus[d.name] = menu;
                continue;
            }
            // The stamp is the menu's, or the bar's for a command on the bar.
            std::function<std::optional<std::uint64_t>()> stamp = [bar] { return bar->stamp(); };
            QWidget* owner = bar;
            if (!d.parent.empty()) {
                auto* menu = submenus.at(d.parent);
                stamp = [menu] { return menu->stamp(); };
                owner = menu;
            }
            QAction* action = new QAction(text(d.caption), owner);
            owner->addAction(action);
            action->setCheckable(!d.parent.empty());
            connect(action, &QAction::triggered, this,
                    [this, i, stamp] { driver_.input(target(Target::Kind::MenuItem, i), stamp()); });
            actions_.emplace_back(i, action);
        }
        layout->setMenuBar(bar);
        bar->installEventFilter(this);
    }

    canvas_ = new Canvas(design, this);
    canvas_->installEventFilter(this);
    layout->addWidget(canvas_);
    installEventFilter(this);

    // Buttons in tab order, so the focus chain follows the design.
    for (std::size_t i : tabOrder(design)) {
        const ControlDesign& d = design.controls[i];
        auto* button = new Stamped<QPushButton>(text(d.caption), canvas_);
        button->setGeometry(qrect(d.box));
        button->setFont(qt::font(d.font));
        button->setAutoDefault(false);
        button->installEventFilter(this);
        auto click = [this, i, button] { driver_.input(target(Target::Kind::Button, i), button->stamp()); };
        if (d.clickOnPress)
            connect(button, &QPushButton::pressed, this, click);
        else
            connect(button, &QPushButton::clicked, this, click);
        buttons_.emplace_back(i, button);
    }
}

Target FormWindow::target(Target::Kind kind, std::size_t index) const
{
    return {form_ ? form_->loading() : 0, kind, index};
}

QPushButton* FormWindow::button(std::size_t index) const
{
    const auto it = std::ranges::find(buttons_, index, &std::pair<std::size_t, QPushButton*>::first);
    return it == buttons_.end() ? nullptr : it->second;
}

void FormWindow::attach(const Form& form)
{
    form_ = &form;
    canvas_->form_ = &form;
    canvas_->scene_ = {};
    drawnRevision_.reset();
    fresh_ = true;
    sync();
    canvas_->update();
}

void FormWindow::sync()
{
    if (!form_)
        return;
    // Qt ticks and unticks a checkable item by itself as it is chosen, so
    // the check marks are set after every event, whether the form changed
    // or not: choosing the level already chosen would untick it.
    const auto items = form_->menuItems();
    for (auto [index, action] : actions_) {
        action->setChecked(items[index].Checked());
        action->setEnabled(items[index].Enabled());
    }
    // Every other change that shows on screen moves the form's revision on,
    // a rewind's too: what it put back is drawn as any change is, against
    // the scene drawn last.
    if (drawnRevision_ == form_->revision())
        return;
    drawnRevision_ = form_->revision();
    const auto controls = form_->controls();
    for (auto [index, button] : buttons_) {
        button->setEnabled(controls[index].Enabled());
        button->setVisible(controls[index].Visible());
    }
    // Only what changed is drawn again: on a drop step, the two pencils'
    // rows. One rectangle around it all keeps the drawing on the toolkit's
    // quickest path. The buttons lying in it are drawn with it.
    Scene now = scene(*form_, systemColours(canvas_->palette()));
    Rect changed;
    for (const Rect& box : damage(canvas_->scene_, now))
        changed = united(changed, box);
    canvas_->scene_ = std::move(now);
    // Drawn at once: a deferred update would wait for the window system's
    // next frame slot, milliseconds late for a pencil due on its
    // millisecond.
    if (changed.empty())
        return;
    if (canvas_->isVisible())
        canvas_->repaint(qrect(changed));
    else
        canvas_->update(qrect(changed));
}

namespace {

std::optional<Key> gameKey(int key)
{
    switch (key) {
    case Qt::Key_Space:
        return Key::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter:  // the keypad's
        return Key::Enter;
    case Qt::Key_Escape:
        return Key::Escape;
    default:
        return std::nullopt;
    }
}

}  // namespace

bool FormWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return takeKey(watched, *static_cast<const QKeyEvent*>(event)) || QWidget::eventFilter(watched, event);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return takePress(watched, *static_cast<const QMouseEvent*>(event)) || QWidget::eventFilter(watched, event);
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool FormWindow::takePress(QObject* receiver, const QMouseEvent& press)
{
    // A press reaches the game after events already delivered when the
    // machine is busy: a button that clicks on the press may be disabled on
    // screen by then, and still have been enabled at the press's moment. Qt
    // ignores a press on a disabled button, so it is passed on here, and the
    // runtime judges it at its moment. An enabled button clicks by itself.
    if (press.button() != Qt::LeftButton || !form_)
        return false;
    for (auto [index, button] : buttons_)
        if (button == receiver && !button->isEnabled() && design().controls[index].clickOnPress) {
            driver_.input(target(Target::Kind::Button, index), press.timestamp());
            return true;
        }
    return false;
}

bool FormWindow::takeKey(QObject* receiver, const QKeyEvent& stroke)
{
    const auto key = gameKey(stroke.key());
    // An open menu takes every key; so does the menu bar, once the keyboard
    // has moved into it, for Escape, which leaves it.
    if (!key || qobject_cast<QMenu*>(receiver) || (*key == Key::Escape && qobject_cast<QMenuBar*>(receiver)))
        return false;
    if (stroke.type() != QEvent::KeyPress || !form_)
        return true;
    // A key goes to the widget with the focus: if that is a button, the key
    // may press it.
    std::optional<std::size_t> focused;
    for (auto [index, button] : buttons_)
        if (button == receiver)
            focused = index;
    const Keystroke keystroke{
        .key = *key,
        .modified = (stroke.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0,
        .repeat = stroke.isAutoRepeat()};
    if (counts(keystroke))
        driver_.input(Target::of(*form_, *key, focused), stroke.timestamp());
    return true;
}

void FormWindow::detach()
{
    form_ = nullptr;
    canvas_->form_ = nullptr;
    hide();
}

void FormWindow::prepare()
{
    ensurePolished();
    adjustSize();
    winId();  // the window system's window, unmapped
    // Drawing once lays out the text and loads the fonts and glyphs.
    QImage scratch(size() * devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(devicePixelRatio());
    render(&scratch);
}

void FormWindow::present()
{
    // Centred on the whole screen, worked out from the sizes: QRect::center()
    // is a pixel short of the true middle. The player sees the window with
    // the frame the window manager puts around it, so it is the frame that is
    // centred. The client area is placed before the window is mapped, so it
    // appears there without a jump.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (fresh_ && screen) {
        adjustSize();
        const QMargins frame =
            windowFlags().testFlag(Qt::FramelessWindowHint) ? QMargins() : expectedFrame(*this);
        const QSize outer = size().grownBy(frame);
        const QRect area = screen->geometry();
        const QPoint corner(area.x() + (area.width() - outer.width()) / 2,
                            area.y() + (area.height() - outer.height()) / 2);
        setGeometry(QRect(corner + QPoint(frame.left(), frame.top()), size()));
    }
    fresh_ = false;
    show();
}

void FormWindow::closeEvent(QCloseEvent* event)
{
    // The form decides what a close request does; the window never closes on
    // its own.
    event->ignore();
    if (form_)
        driver_.input(target(Target::Kind::Window, 0), std::nullopt);
}

}  // namespace forms::qt
