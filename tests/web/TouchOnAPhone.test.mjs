// SPDX-License-Identifier: MIT
// The game on a phone's screen, held either way: the whole window on the
// screen, nothing to scroll, every control within a finger's reach, the
// nearer of two taking a touch between them, and the bubbles scaled
// smoothly; and upright, every control taking touches a finger across and
// down through its centre, a menu opened by a touch with rows a finger high,
// and a duel played by touch alone.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { box, browserName, pixels, session, tap } from './harness.mjs';
import { button, duel, handBack, menu, named, until, untilRuntime, winDuel } from './game.mjs';

const phone = { deviceScaleFactor: 3, hasTouch: true, isMobile: true };
const s = session({ viewport: { width: 360, height: 640 }, ...phone });

// Where a touch at each point on the screen of a 24 x 24 CSS px square around each control's centre lands,
// against the control whose box is nearest that point: "control, point, landed on, nearest" for every point that
// goes astray; each control's height; the duel window's box; and whether the page scrolls. Looked at once the
// page has laid the window out for the screen as it is.
const astray = (page, selectors) => page.evaluate(async (selectors) => {
  await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
  const targets = selectors.flatMap((s) => [...document.querySelectorAll(s)]).filter((e) => e.checkVisibility());
  const name = (e) => e?.dataset.control ?? e?.dataset.menu ?? e?.tagName ?? 'nothing';
  const distance = (r, x, y) => Math.hypot(Math.max(r.left - x, 0, x - r.right), Math.max(r.top - y, 0, y - r.bottom));
  const hitAt = (x, y) => document.elementFromPoint(x, y)?.closest('button, [role="menuitemradio"]');
  const wrong = [], narrow = [];
  for (const t of targets) {
    const r = t.getBoundingClientRect(), [cx, cy] = [(r.left + r.right) / 2, (r.top + r.bottom) / 2];
    // How far across and down, through its centre, it takes touches itself.
    const reach = [[1, 0], [0, 1]].map(([ux, uy]) => {
      let n = 0;
      for (let i = -20; i <= 20; i += 0.25) n += hitAt(cx + ux * i, cy + uy * i) === t ? 0.25 : 0;
      return n;
    });
    if (Math.min(...reach) < 23.5) narrow.push(`${name(t)} ${reach.join(' x ')}`);
    for (let dx = -11.5; dx <= 11.5; dx += 2.3)
      for (let dy = -11.5; dy <= 11.5; dy += 2.3) {
        const [x, y] = [cx + dx, cy + dy];
        if (x < 0 || y < 0 || x >= innerWidth || y >= innerHeight) continue;  // off the screen
        const hit = hitAt(x, y), d = (e) => distance(e.getBoundingClientRect(), x, y);
        const nearest = targets.reduce((a, b) => (d(b) < d(a) ? b : a));
        // (Within a hundredth of a pixel of half-way, either is nearer.)
        if (hit !== t && !(hit && targets.includes(hit) && d(hit) <= d(nearest) + 0.01))
          wrong.push([name(t), [dx.toFixed(1), dy.toFixed(1)], name(hit), name(nearest)].join(' '));
      }
  }
  const root = document.scrollingElement, { x, y, width, height } = document.querySelector('[data-form="frmzib"]').getBoundingClientRect();
  return { wrong: wrong.join('; '), narrow: narrow.join('; '), heights: targets.map((t) => [name(t), t.getBoundingClientRect().height]),
           window: [x, y, width, height], scrolls: root.scrollWidth > innerWidth || root.scrollHeight > innerHeight };
}, selectors);

test('either way up the window fits, every control in reach; upright, the menu and a duel by touch', async () => {
  const { page } = s;
  for (const [width, height] of [[640, 360], [360, 640]]) {
    await page.setViewport({ width, height, ...phone });
    await page.waitForFunction(([w, h]) => innerWidth === w && innerHeight === h, {}, [width, height])
      .catch(() => assert.fail(`the page laid out for a ${width} x ${height} screen (a viewport meta tag)`));
    const { wrong, narrow, window: [x, y, w, h], scrolls } = await astray(page, [`${duel} button[data-control]`,
                                                                         '[role="menubar"] [role="menuitem"]']);
    assert.ok(x >= 0 && y >= 0 && x + w <= width + 0.5 && y + h <= height + 0.5 && (w >= 0.9 * width || h >= 0.9 * height),
              `window ${[x, y, w, h]} filling the ${width} x ${height} screen`);
    assert.ok(!scrolls, `${width} x ${height}: nothing to scroll`);
    assert.equal(wrong, '', `${width} x ${height}: touches that went astray: control, offset, landed on, nearest`);
    if (width < height) assert.equal(narrow, '', `${width} x ${height}: controls taking touches less than a finger across or down`);
    // At a scale that is not whole, the bubbles are scaled smoothly: their outlines shaded with many greys,
    // where enlarged pixel by pixel only the few of the buttons' edges crossing them would show.
    const [bubble, shot] = [await box(page, `${duel} img`), await pixels(page)], shades = new Set();
    const [x0, y0, w0, h0] = [bubble.x, bubble.y, bubble.width, bubble.height].map((v) => Math.round((v * shot.width) / width));
    for (let y = y0; y < y0 + h0; ++y) for (let x = x0; x < x0 + w0; ++x) shades.add(shot.at(x, y));
    const greys = [...shades].filter((c) => c !== 0 && c !== 0xffffff && c >> 16 === (c & 0xff) && c >> 16 === ((c >> 8) & 0xff));
    assert.ok(greys.length > 16, `${width} x ${height}: the bubbles enlarged pixel by pixel (${greys.length} greys)`);
  }
  // A menu opened by a touch has rows a finger high, and each level takes its touches. (WebKitWebDriver's touch
  // pointer reaches the page as a mouse, which opens the menu with rows of the desktop's height.)
  await tap(page, menu('mnuSkill'));
  await page.waitForFunction(() => document.querySelector('[role="menu"]').checkVisibility());
  const levels = await astray(page, ['[role="menu"] [role="menuitemradio"]']);
  if (browserName !== 'webkit') {
    assert.equal(levels.wrong, '', 'touches on the levels that went astray');
    for (const [name, height] of levels.heights) assert.ok(height >= 24, `${name} ${height} px high`);
  }
  await tap(page, menu('mnuVE'));
  assert.deepEqual(await named(page, '[aria-checked="true"], [role="menu"]:not([hidden])'), ['mnuVE'], 'Very Easy checked, menu closed');
  // Between Start and Stop, 10 px from one and 14 from the other, a tap goes to the nearer.
  await untilRuntime(page, handBack + 50);
  await tap(page, button('cbStart'), 10);
  await until(page, 'cbStop');
  await tap(page, button('cbStop'), -10);
  await until(page, 'cbStart');
  await winDuel(page, () => tap(page, button('cbStart')), () => tap(page, button('Zib')));
});
