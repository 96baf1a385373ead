// SPDX-License-Identifier: MIT
#include "forms/qt/form_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QInputEvent>
#include <QMenu>
#include <QKeyEvent>
#include <QMenuBar>
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
        if (d.clickOnPress && !pressButton_)
            pressButton_ = i;
        buttons_.emplace_back(i, button);
    }
}

Target FormWindow::target(Target::Kind kind, std::size_t index) const
{
    return {form_ ? form_->loading() : 0, kind, index};
}

void FormWindow::attach(Form& form)
{
    form_ = &form;
    canvas_->form_ = &form;
    canvas_->scene_ = {};
    drawn_ = 0;
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
    // Every other change that shows on screen moves the form's revision on.
    if (drawn_ == form_->revision())
        return;
    drawn_ = form_->revision();
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

bool FormWindow::pressable() const
{
    if (!form_ || !pressButton_ || !isVisible())
        return false;
    const Control& button = form_->controls()[*pressButton_];
    return button.Enabled() && button.Visible();
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A player who cannot aim a mouse draws with the keyboard: at the draw,
    // Space or Enter presses the quick-draw button, whatever has the focus,
    // at the moment the key went down. Held keys repeating do not count, as
    // a held mouse button does not. At other times keys do what they always
    // do.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const int k = key->key();
        const bool draws = (k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) &&
                           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (draws && !key->isAutoRepeat() && pressable()) {
            driver_.input(target(Target::Kind::Button, *pressButton_), key->timestamp());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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
