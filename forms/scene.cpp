// SPDX-License-Identifier: MIT
#include "forms/scene.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace forms {

Rect united(Rect a, Rect b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.right(), b.right()) - x, std::max(a.bottom(), b.bottom()) - y};
}

std::uint32_t resolve(Colour colour, const SystemColours& system)
{
    switch (colour.system) {
    case SystemColour::HighlightText:
        return system.highlightText;
    case SystemColour::WindowText:
        return system.windowText;
    case SystemColour::None:
        break;
    }
    return colour.rgb;
}

int fontPixels(const Font& font)
{
    const double points = font.family.empty() ? 8 : font.points;
    return static_cast<int>(std::lround(points * 96 / 72));
}

int captionPixels(const Item& label, Rect client, const std::function<Ink(int pixels)>& inkAt)
{
    // The part of the box the window shows, less the pixel along its edges
    // where a glyph would be seen cut off.
    const Rect box = label.box;
    const double left = std::max(box.x, client.x) + 1, right = std::min(box.right(), client.right()) - 1;
    const double top = std::max(box.y, client.y) + 1, bottom = std::min(box.bottom(), client.bottom()) - 1;
    const double x = box.x + box.width / 2.0, y = box.y;
    for (int pixels = label.fontPixels;;) {
        // Drawn smaller, the ink shrinks towards the point the caption hangs
        // from, so each side that reaches out from it limits the scale.
        const Ink ink = inkAt(pixels);
        double scale = 1;
        const auto limit = [&](double reach, double room) {
            if (reach > 0)
                scale = std::min(scale, std::max(room, 0.0) / reach);
        };
        limit(-ink.left, x - left);
        limit(ink.right, right - x);
        limit(-ink.top, y - top);
        limit(ink.bottom, bottom - y);
        if (scale >= 1 || pixels == 1)
            return pixels;
        pixels = std::clamp(static_cast<int>(std::floor(pixels * scale)), 1, pixels - 1);
    }
}

namespace {

Item item(const Control& control, std::size_t index, const SystemColours& system)
{
    const ControlDesign& d = control.design();
    Item it{.index = index,
            .design = &d,
            .box = pixels(d.box),
            .from = {},
            .to = {},
            .fore = resolve(d.foreColour, system),
            .back = resolve(d.backColour, system),
            .fontPixels = fontPixels(d.font),
            .visible = control.Visible(),
            .enabled = d.kind == Kind::CommandButton ? control.Enabled() : true};
    if (d.kind == Kind::Line) {
        // A line's box holds its two points; its pen reaches up to a width
        // beyond them either way.
        it.from = {pixels(d.box.left), pixels(d.box.top)};
        it.to = {pixels(d.box.width), pixels(d.box.height)};
        const int reach = d.lineWidth;
        const int x = std::min(it.from.x, it.to.x) - reach, y = std::min(it.from.y, it.to.y) - reach;
        it.box = {x, y, std::abs(it.to.x - it.from.x) + 2 * reach + 1, std::abs(it.to.y - it.from.y) + 2 * reach + 1};
    }
    return it;
}

}  // namespace

Scene scene(const Form& form, const SystemColours& system)
{
    const FormDesign& d = form.design();
    Scene s{.client = {0, 0, pixels(d.width), pixels(d.height)}, .background = resolve(d.backColour, system), .items = {}};
    const auto controls = form.controls();
    s.items.reserve(controls.size());
    // The design lists the topmost first; buttons lie above everything else.
    for (bool buttons : {false, true})
        for (std::size_t i = controls.size(); i-- > 0;) {
            const Control& c = controls[i];
            if (c.kind() != Kind::Timer && (c.kind() == Kind::CommandButton) == buttons)
                s.items.push_back(item(c, i, system));
        }
    return s;
}

std::optional<std::vector<std::size_t>> changedItems(const Scene& before, const Scene& after)
{
    if (before.client != after.client || before.background != after.background ||
        before.items.size() != after.items.size())
        return std::nullopt;
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.items.size(); ++i) {
        const Item &was = before.items[i], &is = after.items[i];
        if (was.design != is.design)
            return std::nullopt;
        if (was.visible != is.visible || was.enabled != is.enabled)
            changed.push_back(i);
    }
    return changed;
}

std::vector<Rect> damage(const Scene& before, const Scene& after)
{
    const auto changed = changedItems(before, after);
    if (!changed)
        return {after.client};
    std::vector<Rect> boxes;
    boxes.reserve(changed->size());
    for (std::size_t i : *changed)
        boxes.push_back(after.items[i].box);
    return boxes;
}

std::vector<std::size_t> tabOrder(const FormDesign& design)
{
    std::vector<std::size_t> buttons;
    for (std::size_t i = 0; i < design.controls.size(); ++i)
        if (design.controls[i].kind == Kind::CommandButton)
            buttons.push_back(i);
    std::stable_sort(buttons.begin(), buttons.end(), [&](std::size_t a, std::size_t b) {
        return design.controls[a].tabIndex < design.controls[b].tabIndex;
    });
    return buttons;
}

std::vector<std::size_t> readingOrder(const Scene& scene)
{
    std::vector<std::size_t> order(scene.items.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto key = [&](std::size_t i) {
        const int tab = scene.items[i].design->tabIndex;
        return tab < 0 ? INT_MAX : tab;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return order;
}

std::vector<const Form*> presentationOrder(std::span<const std::unique_ptr<Form>> forms)
{
    std::vector<const Form*> order;
    order.reserve(forms.size());
    for (bool seen : {true, false})
        for (const auto& form : forms)
            if (form->Visible() == seen)
                order.push_back(form.get());
    return order;
}

bool opensSubmenu(const FormDesign& design, const MenuDesign& item)
{
    return std::any_of(design.menus.begin(), design.menus.end(),
                       [&](const MenuDesign& other) { return other.parent == item.name; });
}

bool takesInput(const Form& form)
{
    if (!form.Visible())
        return false;
    const auto controls = form.controls();
    return !form.menuItems().empty() || std::any_of(controls.begin(), controls.end(), [](const Control& c) {
        return c.kind() == Kind::CommandButton && c.Visible() && c.Enabled();
    });
}

std::string spokenName(const Form& form)
{
    const FormDesign& d = form.design();
    if (d.border != Border::None)
        return std::string(d.caption);
    std::vector<const ControlDesign*> labels;
    for (const Control& c : form.controls())
        if (c.kind() == Kind::Label && c.Visible())
            labels.push_back(&c.design());
    std::stable_sort(labels.begin(), labels.end(),
                     [](const ControlDesign* a, const ControlDesign* b) { return a->tabIndex < b->tabIndex; });
    std::string name;
    for (const ControlDesign* label : labels) {
        if (!name.empty())
            name += ' ';
        name += label->caption;
    }
    return name;
}

}  // namespace forms
