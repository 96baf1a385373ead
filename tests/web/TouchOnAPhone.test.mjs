// SPDX-License-Identifier: MIT
// The game on a phone's screen, held either way: the whole window scaled to
// fit, in its proportions, and a duel played by touch alone.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session } from './harness.mjs';
import { button, duel, handBack, menu, untilRuntime, winDuel } from './game.mjs';

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
