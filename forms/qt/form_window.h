// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "forms/form.h"
#include "forms/runtime.h"
#include "forms/scene.h"

class QAction;
class QKeyEvent;
class QMouseEvent;
class QPushButton;

namespace forms::qt {

class Driver;

// The client area of a form: paints its windowless controls and holds its
// buttons, which lie above them.
class Canvas : public QWidget {
public:
    explicit Canvas(const FormDesign& design, QWidget* parent = nullptr);

    const FormDesign& design() const { return *design_; }
    // The loading of the form shown, or nullptr while there is none.
    const Form* form() const { return form_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class FormWindow;
    const FormDesign* design_;
    const Form* form_ = nullptr;
    Scene scene_;  // what the canvas shows: the form as the window last synced it
    std::function<void()> firstPaint_;
};

// A top-level window for a form's design. It shows one loading of the form
// at a time, only what that loading's controls hold, and passes the player's
// input to the driver, stamped. A window can be made ahead of time and shown
// for a later loading, so that showing it costs no more than mapping it.
//
// Space, Enter and Escape are the game's keys (forms/keys.h): Qt's widgets
// never see them, so a button never presses itself on one, and the runtime
// decides what a key presses at the moment it went down. An open menu is
// the exception: it takes every key, and Escape closes it.
class FormWindow : public QWidget {
public:
    FormWindow(Driver& driver, const FormDesign& design);

    // Shows this loading of the form from now on.
    void attach(const Form& form);
    // The loading is gone: the window shows nothing and is hidden.
    void detach();
    const Form* form() const { return form_; }
    const FormDesign& design() const { return canvas_->design(); }
    // Called once, when the window is first drawn on screen.
    void onFirstPaint(std::function<void()> then) { canvas_->firstPaint_ = std::move(then); }

    // Makes the window system's window and draws the form once off screen,
    // so that fonts and glyphs are ready before the window is first shown.
    // Nothing reaches the screen.
    void prepare();
    // Brings the window up to date with its form, after an event.
    void sync();
    // Shows the window, centred on the screen the first time for each
    // loading.
    void present();

    // The widget of the button at this place in the design, if it is one.
    QPushButton* button(std::size_t index) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Target target(Target::Kind kind, std::size_t index) const;
    // Takes a game's key from Qt, passing it to the runtime if it counts.
    bool takeKey(QObject* receiver, const QKeyEvent& stroke);
    // Takes a press on a button disabled on screen, which Qt would drop.
    bool takePress(QObject* receiver, const QMouseEvent& press);

    Driver& driver_;
    const Form* form_ = nullptr;
    // The form's revision the window last drew; none for a loading not yet
    // drawn.
    std::optional<std::uint64_t> drawnRevision_;
    bool fresh_ = true;
    Canvas* canvas_;
    std::vector<std::pair<std::size_t, QPushButton*>> buttons_;  // by the control's place in the design
    std::vector<std::pair<std::size_t, QAction*>> actions_;      // by the menu item's place
};

}  // namespace forms::qt
