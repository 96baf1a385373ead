// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "forms/form.h"

class QAction;
class QPushButton;

namespace forms::qt {

class Driver;

// The client area of a form: paints its windowless controls and holds its
// buttons, which lie above them.
class Canvas : public QWidget {
public:
    explicit Canvas(const Form& form, QWidget* parent = nullptr);

    // The form shown, or nullptr once it has been unloaded.
    const Form* form() const { return form_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class FormWindow;
    const Form* form_;
};

// One top-level window for one loading of a form. It only shows what the
// form's controls hold and passes the player's input to the driver.
class FormWindow : public QWidget {
public:
    FormWindow(Driver& driver, Form& form);

    std::uint64_t serial() const { return serial_; }
    // Brings the window up to date with its form, after an event.
    void sync();
    // The form is gone: the window shows nothing more and waits to be deleted.
    void detach();
    // Shows the window, centred on the screen the first time after its form
    // was loaded.
    void present();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Driver& driver_;
    Form* form_;
    std::uint64_t serial_;
    std::uint64_t drawn_ = 0;
    bool fresh_ = true;
    Canvas* canvas_;
    std::vector<std::pair<Control*, QPushButton*>> buttons_;
    std::vector<std::pair<MenuItem*, QAction*>> actions_;
};

}  // namespace forms::qt
