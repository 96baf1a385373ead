// SPDX-License-Identifier: MIT
// A whole duel from the keyboard alone: Tab to the Skill menu, open it, move
// to a level and check it, Tab to Start and press it, then Space for ZIB!
// at the draw, wherever the focus is.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { serve, launch, open, load } from './harness.mjs';
import { handBack, menu, until, untilRuntime } from './game.mjs';

let server, browser, page, errors;
before(async () => {
  [server, browser] = await Promise.all([serve(), launch()]);
  ({ page, errors } = await open(browser));
  await load(page, server.url);
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

// What has the focus: a menu item or a button, by its name.
const focused = (page) => page.evaluate(() => {
  const e = document.activeElement;
  return e?.dataset?.menu ?? e?.dataset?.control ?? e?.tagName ?? '';
});

// Presses `key` until `name` has the focus, at most `most` times.
async function moveTo(page, key, name, most = 12) {
  const path = [];
  for (let i = 0; i < most && (await focused(page)) !== name; ++i) {
    await page.keyboard.press(key);
    path.push(await focused(page));
  }
  assert.equal(await focused(page), name, `${key} to ${name}, went through ${path.join(', ')}`);
}

test('the menu, Start and ZIB! from the keyboard', async () => {
  await moveTo(page, 'Tab', 'mnuSkill');
  await page.keyboard.press('Enter');
  await page.locator('[role="menu"]').waitFor({ state: 'visible' });
  assert.equal(await page.locator(menu('mnuSkill')).getAttribute('aria-expanded'), 'true');
  await moveTo(page, 'ArrowDown', 'mnuM', 6);
  await page.keyboard.press('Enter');
  await page.locator('[role="menu"]').waitFor({ state: 'hidden' });
  assert.equal(await page.locator('[data-menu="mnuM"]').getAttribute('aria-checked'), 'true');
  assert.equal(await page.locator('[data-menu="mnuVE"]').getAttribute('aria-checked'), 'false');

  // Escape closes the menu and leaves the level as it was.
  await moveTo(page, 'Tab', 'mnuSkill');
  await page.keyboard.press('Enter');
  await page.locator('[role="menu"]').waitFor({ state: 'visible' });
  await page.keyboard.press('Escape');
  await page.locator('[role="menu"]').waitFor({ state: 'hidden' });
  assert.equal(await page.locator('[data-menu="mnuM"]').getAttribute('aria-checked'), 'true');

  await untilRuntime(page, handBack + 50);
  await moveTo(page, 'Tab', 'cbStart');
  await page.keyboard.press('Enter');
  await until(page, 'cbStop');
  await until(page, 'cbStop Zib');
  await page.keyboard.press('Space');
  await until(page, 'cbStop zibyou');
  await until(page, 'frmWin');
  await until(page, 'cbStart');

  // Enter presses ZIB! too, even with the focus on Stop.
  await moveTo(page, 'Tab', 'cbStart');
  await page.keyboard.press('Space');
  await until(page, 'cbStop Zib');
  await moveTo(page, 'Tab', 'cbStop');
  await page.keyboard.press('Enter');
  await until(page, 'cbStop zibyou');
  await until(page, 'frmWin');
  await until(page, 'cbStart');
  assert.deepEqual(errors, []);
});
