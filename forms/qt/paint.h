// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>
#include <string_view>

#include "forms/form.h"
#include "forms/scene.h"

class QPainter;

namespace forms::qt {

// A caption or name from a design, as Qt text.
QString text(std::string_view s);

// Pixel boxes, and design boxes in twips, as Qt rectangles in
// device-independent pixels.
inline QRect qrect(Rect r) { return {r.x, r.y, r.width, r.height}; }
inline QRect qrect(const Box& box) { return qrect(forms::pixels(box)); }

// The window system's named colours, from the application's palette.
SystemColours systemColours(const QPalette& palette);
// Sizes are given in points and drawn at 96 dots per inch, as the layout in
// twips assumes.
QFont font(const Font& font);

// Draws a form's client area: its background and its windowless controls
// (labels, pictures, shapes, lines) in stacking order, the topmost last.
// Buttons are real widgets on top and are not drawn here. Where `exposed` is
// given, only it is drawn, with the controls reaching into it.
void paintScene(QPainter& painter, const Scene& scene, const QRect& exposed = {});
void paintForm(QPainter& painter, const Form& form, const QPalette& palette);

}  // namespace forms::qt
