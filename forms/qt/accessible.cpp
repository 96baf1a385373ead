// SPDX-License-Identifier: MIT
#include "forms/qt/accessible.h"

#include <QAccessibleWidget>
#include <QPushButton>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "forms/qt/form_window.h"
#include "forms/qt/paint.h"

namespace forms::qt {

namespace {

// A label painted on a canvas. It lives as long as the canvas's own
// interface, and reads its control only while the canvas still shows a form.
class LabelAccessible : public QAccessibleInterface {
public:
    LabelAccessible(Canvas* canvas, std::size_t index) : canvas_(canvas), index_(index) {}

    bool isValid() const override { return canvas_ && canvas_->form(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return canvas_ ? canvas_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(canvas_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::StaticText; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        return qt::text(label().design().caption);
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect box = qrect(label().design().box);
        return QRect(canvas_->mapToGlobal(box.topLeft()), box.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !isValid() || !label().Visible() || !canvas_->isVisible();
        return s;
    }

private:
    // The window may show another loading of its form by now: the label is
    // found afresh each time.
    const Control& label() const { return canvas_->form()->controls()[index_]; }

    QPointer<Canvas> canvas_;
    std::size_t index_;
};

// The canvas: its buttons (real widgets) and its painted labels, in the
// order a screen reader reads the form.
class CanvasAccessible : public QAccessibleWidget {
public:
    explicit CanvasAccessible(Canvas* canvas) : QAccessibleWidget(canvas, QAccessible::Client)
    {
        const auto& controls = canvas->design().controls;
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].kind == Kind::Label)
                labels_.emplace_back(i, QAccessible::registerAccessibleInterface(new LabelAccessible(canvas, i)));
    }

    ~CanvasAccessible() override
    {
        for (auto [index, id] : labels_)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(children().size()); }

    QAccessibleInterface* child(int index) const override
    {
        const auto all = children();
        return index >= 0 && static_cast<std::size_t>(index) < all.size() ? all[static_cast<std::size_t>(index)]
                                                                           : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto all = children();
        const auto it = std::ranges::find(all, child);
        return it == all.end() ? -1 : static_cast<int>(it - all.begin());
    }

private:
    std::vector<QAccessibleInterface*> children() const
    {
        const auto* canvas = static_cast<const Canvas*>(widget());
        const auto* window = static_cast<const FormWindow*>(canvas->window());
        // The order is the design's, so any loading of the form tells it.
        if (order_.empty() && canvas->form()) {
            const Scene drawn = scene(*canvas->form());
            for (std::size_t i : readingOrder(drawn))
                order_.push_back(drawn.items[i].index);
        }
        std::vector<QAccessibleInterface*> found;
        for (std::size_t control : order_) {
            if (QWidget* button = window->button(control))
                found.push_back(QAccessible::queryAccessibleInterface(button));
            for (auto [index, id] : labels_)
                if (index == control)
                    found.push_back(QAccessible::accessibleInterface(id));
        }
        return found;
    }

    std::vector<std::pair<std::size_t, QAccessible::Id>> labels_;  // by the label's place in the design
    mutable std::vector<std::size_t> order_;  // the controls by their place in the design, in reading order
};

// A form's window. Qt announces a plain top-level widget as a filler, a
// part of some other window; a screen reader announces this as a window of
// its own, by the name the form has for it.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(FormWindow* window) : QAccessibleWidget(window, QAccessible::Window) {}

    QString text(QAccessible::Text t) const override
    {
        const Form* form = static_cast<const FormWindow*>(widget())->form();
        if (t != QAccessible::Name || !form)
            return QAccessibleWidget::text(t);
        return qt::text(spokenName(*form));
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* canvas = dynamic_cast<Canvas*>(object))
        return new CanvasAccessible(canvas);
    if (auto* window = dynamic_cast<FormWindow*>(object))
        return new WindowAccessible(window);
    return nullptr;
}

}  // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

}  // namespace forms::qt
