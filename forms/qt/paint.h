// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>
#include <string_view>

#include "forms/form.h"

class QPainter;

namespace forms::qt {

// A caption or name from a design, as Qt text.
QString text(std::string_view s);

// Twips to device-independent pixels.
constexpr int pixels(int twips) { return twips / twipsPerPixel; }
QRect pixels(const Box& box);

QColor colour(Colour colour, const QPalette& palette);
// Sizes are given in points and drawn at 96 dots per inch, as the layout in
// twips assumes.
QFont font(const Font& font);

// Draws a form's client area: its background and its windowless controls
// (labels, pictures, shapes, lines) in stacking order, the topmost last.
// Buttons are real widgets on top and are not drawn here.
void paintForm(QPainter& painter, const Form& form, const QPalette& palette);

}  // namespace forms::qt
