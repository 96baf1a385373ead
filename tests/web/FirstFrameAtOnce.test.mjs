// SPDX-License-Identifier: MIT
// The page shows the duel window before the program has arrived, drawn by the
// build from the same scene: pixel for pixel what the game then draws. Until
// the game takes over, a press does nothing and the page says it is busy.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session, load, pixels } from './harness.mjs';
import { screen } from './game.mjs';

const s = session({ viewport: { width: 800, height: 600 } }, { loaded: false });

// The whole page as drawn, once its fonts and pictures are in, the mouse out of the way.
async function shot(page) {
  await page.mouse.move(0, 0);
  await page.evaluate(() => Promise.all([document.fonts.ready,
                                         ...[...document.images].map((i) => i.decode().catch(() => {}))]));
  return pixels(await page.screenshot({ animations: 'disabled', caret: 'hide' }));
}

test("the build's first frame is the game's, and takes no press", async () => {
  const { server, page, errors } = s;
  // The program held back: only the page's own frame shows.
  await page.route('**/zib.js', (route) => route.fulfill({ contentType: 'text/javascript', body: '' }));
  await page.goto(server.url);
  const first = page.locator('[data-first]');
  const start = first.locator('button[data-control="cbStart"]');
  assert.ok(await start.isVisible(), 'the duel window shows at once');
  const before = await shot(page);
  assert.equal(await start.evaluate((b) => getComputedStyle(b).cursor), 'progress', 'the page says it is busy');
  await page.mouse.click(...Object.values(await start.boundingBox()).slice(0, 2).map((v) => v + 5));
  await page.keyboard.press('Space');
  const pressed = await shot(page);
  let changed = 0;
  for (let y = 0; y < before.height; ++y)
    for (let x = 0; x < before.width; ++x) if (before.at(x, y) !== pressed.at(x, y)) ++changed;
  assert.equal(changed, 0, 'a press before the game has taken over changes nothing');

  await page.unroute('**/zib.js');
  await load(page, server.url);
  assert.equal(await page.locator('[data-first]').count(), 0, 'the game has taken over');
  assert.equal(await screen(page), 'cbStart');
  const game = await shot(page);
  const differ = [];
  for (let y = 0; y < game.height; ++y)
    for (let x = 0; x < game.width; ++x)
      if (before.at(x, y) !== game.at(x, y)) differ.push(`(${x}, ${y}) ${before.at(x, y).toString(16)} / ${game.at(x, y).toString(16)}`);
  assert.deepEqual(differ.slice(0, 20), [], `${differ.length} pixels differ`);
  assert.deepEqual(errors, []);
});
