// SPDX-License-Identifier: MIT
#include "forms/web/page.h"

#include <emscripten.h>

// Each call goes to the page script's `Page` object (page.js); strings pass
// as a pointer and a length in bytes.

// clang-format off
EM_JS(void, zib_page_start, (double epoch), { Page.start(epoch); });
EM_JS(void, zib_page_window, (int id, const char* name, int nameLength, const char* caption, int captionLength,
                              int titled, int width, int height, int background, int inTaskbar), {
    Page.window(id, {name: UTF8ToString(name, nameLength), caption: UTF8ToString(caption, captionLength),
                     titled: !!titled, width, height, background: background >>> 0, inTaskbar: !!inTaskbar});
});
EM_JS(void, zib_page_menu, (int window, int index, const char* name, int nameLength, const char* caption,
                            int captionLength, int parent, int opens), {
    Page.menu(window, index, {name: UTF8ToString(name, nameLength), caption: UTF8ToString(caption, captionLength),
                              parent, opens: !!opens});
});
EM_JS(void, zib_page_control, (int window, int index, int kind, const char* name, int nameLength,
                               const char* caption, int captionLength, const char* family, int familyLength,
                               const char* picture, int pictureLength, int x, int y, int width, int height,
                               int x1, int y1, int x2, int y2, int fore, int back, int fontPixels, int lineWidth,
                               int flags, int z), {
    Page.control(window, index, {
        kind: ['label', 'button', 'image', 'shape', 'line'][kind],
        name: UTF8ToString(name, nameLength), caption: UTF8ToString(caption, captionLength),
        family: UTF8ToString(family, familyLength), picture: UTF8ToString(picture, pictureLength),
        x, y, width, height, from: [x1, y1], to: [x2, y2], fore: fore >>> 0, back: back >>> 0,
        fontPixels, lineWidth, bold: !!(flags & 1), transparent: !!(flags & 2), press: !!(flags & 4),
        alert: !!(flags & 8), z});
});
// Where a caption's ink lies at `pixels`, as the page would draw it: written
// to out[0..3] as its left, top, right and bottom from the middle of the top
// of its line. Where there is nothing to measure with (the page's first frame
// is made in Node), the ink is left empty and the caption keeps its size.
EM_JS(void, zib_page_ink, (const char* caption, int captionLength, const char* family, int familyLength, int bold,
                           int pixels, double* out), {
    const ink = Page.ink(UTF8ToString(caption, captionLength), UTF8ToString(family, familyLength), !!bold, pixels);
    HEAPF64.set(ink, out >> 3);
});
EM_JS(void, zib_page_state, (int window, int index, int visible, int enabled),
      { Page.state(window, index, !!visible, !!enabled); });
EM_JS(void, zib_page_check, (int window, int index, int checked, int enabled),
      { Page.check(window, index, !!checked, !!enabled); });
EM_JS(void, zib_page_show, (int window, int visible, const char* name, int nameLength),
      { Page.show(window, !!visible, UTF8ToString(name, nameLength)); });
EM_JS(void, zib_page_arm, (double at), { Page.arm(at); });
EM_JS(void, zib_page_event, (double moment), { Page.event(moment); });
EM_JS(void, zib_page_ended, (), { Page.ended(); });
// clang-format on

namespace forms::web::page {

namespace {

int length(std::string_view s) { return static_cast<int>(s.size()); }
int colour(std::uint32_t rgb) { return static_cast<int>(rgb); }

}  // namespace

void start(double epoch) { zib_page_start(epoch); }

void window(int id, const FormDesign& design, std::uint32_t background)
{
    zib_page_window(id, design.name.data(), length(design.name), design.caption.data(), length(design.caption),
                    design.border != Border::None, pixels(design.width), pixels(design.height),
                    colour(background), design.showInTaskbar);
}

void menu(int window, int index, const MenuDesign& design, int parent, bool opensSubmenu)
{
    zib_page_menu(window, index, design.name.data(), length(design.name), design.caption.data(),
                  length(design.caption), parent, opensSubmenu);
}

void control(int window, const Item& item, int z, Rect client)
{
    const ControlDesign& d = *item.design;
    int kind = 0;
    switch (d.kind) {
    case Kind::Label: kind = 0; break;
    case Kind::CommandButton: kind = 1; break;
    case Kind::Image: kind = 2; break;
    case Kind::Shape: kind = 3; break;
    case Kind::Line: kind = 4; break;
    case Kind::Timer: return;
    }
    int fontPixels = item.fontPixels;
    if (d.kind == Kind::Label && !d.caption.empty())
        fontPixels = captionPixels(item, client, [&](int pixels) {
            double ink[4] = {};
            zib_page_ink(d.caption.data(), length(d.caption), d.font.family.data(), length(d.font.family),
                         d.font.bold, pixels, ink);
            return Ink{ink[0], ink[1], ink[2], ink[3]};
        });
    const int flags = (d.font.bold ? 1 : 0) | (d.transparent ? 2 : 0) | (d.clickOnPress ? 4 : 0) | (d.alert ? 8 : 0);
    zib_page_control(window, static_cast<int>(item.index), kind, d.name.data(), length(d.name), d.caption.data(),
                     length(d.caption), d.font.family.data(), length(d.font.family), d.picture.data(),
                     length(d.picture), item.box.x, item.box.y, item.box.width, item.box.height, item.from.x,
                     item.from.y, item.to.x, item.to.y, colour(item.fore), colour(item.back), fontPixels,
                     d.lineWidth, flags, z);
}

void state(int window, int index, bool visible, bool enabled) { zib_page_state(window, index, visible, enabled); }

void check(int window, int index, bool checked, bool enabled) { zib_page_check(window, index, checked, enabled); }

void show(int window, bool visible, std::string_view name)
{
    zib_page_show(window, visible, name.data(), length(name));
}

void arm(double at) { zib_page_arm(at); }

void event(double moment) { zib_page_event(moment); }

void ended() { zib_page_ended(); }

}  // namespace forms::web::page
