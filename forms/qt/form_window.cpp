// SPDX-License-Identifier: MIT
#include "forms/qt/form_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

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

}  // namespace

Canvas::Canvas(const Form& form, QWidget* parent) : QWidget(parent), form_(&form)
{
    setObjectName(QStringLiteral("canvas"));
    setFixedSize(pixels(form.design().width), pixels(form.design().height));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Canvas::paintEvent(QPaintEvent*)
{
    if (!form_)
        return;
    QPainter painter(this);
    paintForm(painter, *form_, palette());
}

FormWindow::FormWindow(Driver& driver, Form& form)
    : QWidget(nullptr, flagsFor(form.design())), driver_(driver), form_(&form), serial_(form.serial())
{
    const FormDesign& design = form.design();
    setWindowTitle(text(design.caption));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the player cannot resize it

    if (!form.menuItems().empty()) {
        auto* bar = new QMenuBar(this);
        bar->setNativeMenuBar(false);  // the menu belongs above the window's client area
        std::map<std::string_view, QMenu*> submenus;
        for (MenuItem& item : form.menuItems()) {
            const MenuDesign& d = item.design();
            const bool hasChildren = std::ranges::any_of(form.menuItems(), [&](const MenuItem& other) {
                return other.design().parent == d.name;
            });
            if (hasChildren) {
                submenus[d.name] = bar->addMenu(text(d.caption));
                continue;
            }
            QAction* action = d.parent.empty() ? bar->addAction(text(d.caption))
                                               : submenus.at(d.parent)->addAction(text(d.caption));
            action->setCheckable(!d.parent.empty());
            connect(action, &QAction::triggered, this, [this, &item] { driver_.click(item); });
            actions_.emplace_back(&item, action);
        }
        layout->setMenuBar(bar);
    }

    canvas_ = new Canvas(form, this);
    layout->addWidget(canvas_);

    // Buttons in tab order, so the focus chain follows the design.
    std::vector<Control*> buttons;
    for (Control& c : form.controls())
        if (c.kind() == Kind::CommandButton)
            buttons.push_back(&c);
    std::ranges::sort(buttons, {}, [](const Control* c) { return c->design().tabIndex; });
    for (Control* control : buttons) {
        const ControlDesign& d = control->design();
        auto* button = new QPushButton(text(d.caption), canvas_);
        button->setGeometry(pixels(d.box));
        button->setFont(qt::font(d.font));
        button->setAutoDefault(false);
        if (d.clickOnPress)
            connect(button, &QPushButton::pressed, this, [this, control] { driver_.click(*control); });
        else
            connect(button, &QPushButton::clicked, this, [this, control] { driver_.click(*control); });
        buttons_.emplace_back(control, button);
    }
    sync();
}

void FormWindow::sync()
{
    if (!form_)
        return;
    for (auto [control, button] : buttons_) {
        button->setEnabled(control->Enabled());
        button->setVisible(control->Visible());
    }
    for (auto [item, action] : actions_) {
        action->setChecked(item->Checked());
        action->setEnabled(item->Enabled());
    }
    if (drawn_ != form_->revision()) {
        drawn_ = form_->revision();
        canvas_->update();
    }
}

void FormWindow::detach()
{
    form_ = nullptr;
    canvas_->form_ = nullptr;
    buttons_.clear();
    actions_.clear();
    hide();
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
        driver_.close(*form_);
}

}  // namespace forms::qt
