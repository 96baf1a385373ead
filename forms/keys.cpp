// SPDX-License-Identifier: MIT
#include "forms/keys.h"

namespace forms {

namespace {

bool pressable(const Control* button)
{
    return button && button->kind() == Kind::CommandButton && button->Visible() && button->Enabled();
}

const Control* find(const Form& form, bool ControlDesign::*flag)
{
    for (const Control& c : form.controls())
        if (c.kind() == Kind::CommandButton && c.design().*flag)
            return &c;
    return nullptr;
}

}  // namespace

const Control* keyTarget(const Form& form, Key key, std::optional<std::size_t> focused)
{
    const Control* cancel = find(form, &ControlDesign::cancel);
    const bool underWay = pressable(cancel);
    if (key == Key::Escape)
        return underWay ? cancel : nullptr;
    if (underWay) {
        const Control* press = find(form, &ControlDesign::clickOnPress);
        return pressable(press) ? press : nullptr;
    }
    const auto controls = form.controls();
    const Control* button = focused && *focused < controls.size() ? &controls[*focused] : nullptr;
    return pressable(button) ? button : nullptr;
}

}  // namespace forms
