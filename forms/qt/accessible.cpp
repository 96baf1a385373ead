// SPDX-License-Identifier: MIT
#include "forms/qt/accessible.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QStringList>
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

// The canvas: its buttons (real widgets) first, then its painted labels.
class CanvasAccessible : public QAccessibleWidget {
public:
    explicit CanvasAccessible(Canvas* canvas) : QAccessibleWidget(canvas, QAccessible::Client)
    {
        const auto& controls = canvas->design().controls;
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].kind == Kind::Label)
                labels_.push_back(QAccessible::registerAccessibleInterface(new LabelAccessible(canvas, i)));
    }

    ~CanvasAccessible() override
    {
        for (auto id : labels_)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return QAccessibleWidget::childCount() + static_cast<int>(labels_.size()); }

    QAccessibleInterface* child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const auto label = static_cast<std::size_t>(index - widgets);
        return label < labels_.size() ? QAccessible::accessibleInterface(labels_[label]) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (std::size_t i = 0; i < labels_.size(); ++i)
            if (QAccessible::accessibleInterface(labels_[i]) == child)
                return QAccessibleWidget::childCount() + static_cast<int>(i);
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    std::vector<QAccessible::Id> labels_;
};

// A form's window. Qt announces a plain top-level widget as a filler, a
// part of some other window; a screen reader announces this as a window of
// its own. A window without a title bar shows no caption, so it is known by
// what it says: its labels in tab order.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(FormWindow* window) : QAccessibleWidget(window, QAccessible::Window) {}

    QString text(QAccessible::Text t) const override
    {
        const Form* form = static_cast<const FormWindow*>(widget())->form();
        if (t != QAccessible::Name || !form || form->design().border != Border::None)
            return QAccessibleWidget::text(t);
        std::vector<const Control*> labels;
        for (const Control& c : form->controls())
            if (c.kind() == Kind::Label && c.Visible())
                labels.push_back(&c);
        std::ranges::sort(labels, {}, [](const Control* c) { return c->design().tabIndex; });
        QStringList words;
        for (const Control* label : labels)
            words << qt::text(label->design().caption);
        return words.join(QLatin1Char(' '));
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
