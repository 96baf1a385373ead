// SPDX-License-Identifier: MIT
// The duel window's other ways: Start with no level warns for three seconds,
// Stop in mid-drop goes straight back to idle, and Quit ends the game; the
// page then says so and starts it again on request.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { serve, launch, open, load, stamper, centre, untilReady } from './harness.mjs';
import { button, clientPixels, draw, handBack, label, levels, menu, pencilSet, pick, resultAfter, screen, until,
         untilRuntime } from './game.mjs';

let server, browser, page, cdp, errors;
before(async () => {
  [server, browser] = await Promise.all([serve(), launch()]);
  ({ page, cdp, errors } = await open(browser));
  await load(page, server.url);
  await untilRuntime(page, handBack + 50);
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

test('Start with no level shows the warning for three seconds', async () => {
  const stamps = await stamper(page, cdp);
  const start = await centre(page, button('cbStart'));
  const pressed = Math.floor(stamps.now()) + 20;
  await stamps.press(start.x, start.y, pressed + 0.5);
  await until(page, 'cbStart noskill');
  assert.equal((await page.locator(label('noskill')).innerText()).trim(), 'Select a Skill Level!!');
  await untilRuntime(page, pressed + 2990);
  assert.equal(await screen(page), 'cbStart noskill', 'still warning 10 ms before its end');
  await until(page, 'cbStart');
  assert.ok(await page.evaluate(() => window.zib.now()) >= pressed + 3000, 'gone no sooner than 3 s');
  assert.deepEqual(errors, []);
});

test('Stop in mid-drop puts the pencil back on top and no duel follows', async () => {
  await pick(page, 'mnuE');
  await page.click(button('cbStart'));
  const started = await page.evaluate(() => window.zib.now());
  await until(page, 'cbStop');
  await untilRuntime(page, started + 4 * 50 + 10);
  const falling = pencilSet(await clientPixels(page));
  assert.ok(falling >= 4 && falling <= 9, `the pencil falling (set ${falling})`);
  await page.click(button('cbStop'));
  await until(page, 'cbStart');
  assert.equal(pencilSet(await clientPixels(page)), 1);
  // Past the moment the result window would have shown: still idle.
  await untilRuntime(page, started + draw + levels.mnuE + resultAfter + 100);
  assert.equal(await screen(page), 'cbStart');
  assert.equal(pencilSet(await clientPixels(page)), 1);
  assert.deepEqual(errors, []);
});

test('Quit ends the game at once; the page says so and starts it again', async () => {
  await page.click(menu('mnuQuit'));
  const ended = page.locator('[data-ended]');
  await ended.waitFor({ state: 'visible' });
  assert.match(await ended.innerText(), /ended/i);
  assert.equal(await screen(page), '', 'no window left');
  await page.click('button[data-restart]');
  await untilReady(page);
  await until(page, 'cbStart');
  assert.equal(await ended.isVisible(), false);
  // A new program: no level picked yet.
  await page.click(menu('mnuSkill'));
  assert.deepEqual(await page.$$eval('[role="menuitemradio"]', (all) => all.map((i) => i.getAttribute('aria-checked'))),
                   ['false', 'false', 'false', 'false', 'false']);
  assert.deepEqual(errors, []);
});
