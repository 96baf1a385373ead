// SPDX-License-Identifier: MIT
// The game on a phone's screen, held either way: the whole window scaled to
// fit, in its proportions; every control within a finger's reach, the
// nearer of two taking a touch between them; and a duel played by touch
// alone.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session } from './harness.mjs';
import { button, clientPixels, duel, handBack, menu, until, untilRuntime, winDuel } from './game.mjs';

const s = session({ viewport: { width: 360, height: 640 }, deviceScaleFactor: 3, hasTouch: true, isMobile: true });

// The duel window and its client area on the page, and the page's layout viewport.
const layout = (page) => page.evaluate(() => {
  const box = (e) => { const r = e.getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; };
  const form = document.querySelector('[data-form="frmzib"]');
  return { form: box(form), client: box(form.querySelector('[data-client]')), width: innerWidth, height: innerHeight,
           scrolls: document.scrollingElement.scrollWidth > innerWidth || document.scrollingElement.scrollHeight > innerHeight };
});

test('the window fits the screen either way up, in its proportions', async () => {
  const { page, errors } = s;
  for (const [width, height] of [[360, 640], [640, 360]]) {
    await page.setViewportSize({ width, height });
    await page.waitForFunction(([w, h]) => innerWidth === w && innerHeight === h, [width, height]);
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    const { form, client, scrolls, ...view } = await layout(page);
    assert.deepEqual(view, { width, height }, 'the page laid out for the phone (a viewport meta tag)');
    const [x, y, w, h] = form;
    assert.ok(x >= 0 && y >= 0 && x + w <= width + 0.5 && y + h <= height + 0.5, `window ${form} on a ${width} x ${height} screen`);
    assert.ok(w >= 0.9 * width || h >= 0.9 * height, `window ${form} filling the ${width} x ${height} screen`);
    assert.ok(Math.abs(client[2] / client[3] - 600 / 399) < 0.01, `client area ${client} in its proportions`);
    assert.ok(!scrolls, 'nothing to scroll');
  }
  await page.setViewportSize({ width: 360, height: 640 });
});

// Where a touch at each point of a 24 x 24 CSS px square around each control's centre lands, against the control
// whose box is nearest that point: [control, point, landed on, nearest] for every point that goes astray; and
// each control's box.
const astray = (page, selectors) => page.evaluate((selectors) => {
  const targets = selectors.flatMap((s) => [...document.querySelectorAll(s)]).filter((e) => e.checkVisibility());
  const name = (e) => e?.dataset.control ?? e?.dataset.menu ?? e?.tagName ?? 'nothing';
  const distance = (r, x, y) => Math.hypot(Math.max(r.left - x, 0, x - r.right), Math.max(r.top - y, 0, y - r.bottom));
  const wrong = [];
  for (const t of targets) {
    const r = t.getBoundingClientRect(), [cx, cy] = [(r.left + r.right) / 2, (r.top + r.bottom) / 2];
    for (let dx = -11.5; dx <= 11.5; dx += 2.3)
      for (let dy = -11.5; dy <= 11.5; dy += 2.3) {
        const [x, y] = [cx + dx, cy + dy];
        const hit = document.elementFromPoint(x, y)?.closest('button, [role="menuitemradio"]');
        const d = (e) => distance(e.getBoundingClientRect(), x, y);
        const nearest = targets.reduce((a, b) => (d(b) < d(a) ? b : a));
        // (Within a hundredth of a pixel of half-way, either is nearer.)
        if (hit !== t && !(hit && targets.includes(hit) && d(hit) <= d(nearest) + 0.01))
          wrong.push([name(t), [dx.toFixed(1), dy.toFixed(1)].join(','), name(hit), name(nearest)]);
      }
  }
  return { wrong, boxes: targets.map((t) => [name(t), t.getBoundingClientRect().height]) };
}, selectors);

test('upright, every control takes a touch within 24 px of its centre, unless another control is nearer', async () => {
  const { page, errors } = s;
  await page.setViewportSize({ width: 360, height: 640 });
  const look = await clientPixels(page);
  const { wrong } = await astray(page, [`${duel} button[data-control]`, '[role="menubar"] [role="menuitem"]']);
  assert.equal(wrong.map((w) => w.join(' ')).join('; '), '', 'touches that went astray: control, offset, landed on, nearest');
  // A menu opened by a touch has rows a finger high, and each level takes its touches.
  await page.locator(menu('mnuSkill')).tap();
  await page.locator('[role="menu"]').waitFor();
  const levels = await astray(page, ['[role="menu"] [role="menuitemradio"]']);
  assert.equal(levels.wrong.map((w) => w.join(' ')).join('; '), '', 'touches on the levels that went astray');
  for (const [name, height] of levels.boxes) assert.ok(height >= 24, `${name} ${height} px high`);
  await page.locator('[role="menu"] [data-menu="mnuVE"]').tap();
  // Nothing of it is drawn: the window looks as it did.
  const after = await clientPixels(page);
  for (const [x, y] of [[300, 16], [280, 272], [320, 272], [300, 330], [100, 300]])
    assert.equal(after.at(Math.round(x * 0.6), Math.round(y * 0.6)), look.at(Math.round(x * 0.6), Math.round(y * 0.6)),
                 `the window as drawn at ${x}, ${y}`);
  // Between Start and Stop, 10 px from one and 14 from the other, a tap goes to the nearer.
  await untilRuntime(page, handBack + 50);
  await until(page, 'cbStart');
  await page.locator(button('cbStart')).tap({ dx: 10 });
  await until(page, 'cbStop');
  await page.locator(button('cbStop')).tap({ dx: -10 });
  await until(page, 'cbStart');
  assert.deepEqual(errors, []);
});

test('a duel by touch: a tap on ZIB! in the draw wins', async () => {
  const { page, errors } = s;
  await page.locator(menu('mnuSkill')).tap();
  await page.locator('[role="menu"] [data-menu="mnuVE"]').tap();
  assert.equal(await page.locator('[data-menu="mnuVE"]').getAttribute('aria-checked'), 'true');
  await untilRuntime(page, handBack + 50);
  await winDuel(page, () => page.locator(button('cbStart')).tap(), () => page.locator(button('Zib')).tap());
  assert.ok(await page.locator(duel).isVisible());
  assert.deepEqual(errors, []);
});
