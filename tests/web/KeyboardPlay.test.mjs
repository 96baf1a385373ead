// SPDX-License-Identifier: MIT
// A whole duel from the keyboard alone: Tab to the Skill menu, open it, move
// to a level and check it, Tab to Start and press it, then Space for ZIB!
// at the draw, wherever the focus is. Then the keys the game keeps for
// itself in a duel: whatever has the focus, an early or late key neither
// stops the duel nor hides its result, and Escape stops it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session } from './harness.mjs';
import { button, draw, everShown, handBack, levels, menu, pick, resultAfter, screen, story, until,
         untilRuntime, winDuel } from './game.mjs';

const s = session();

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
  const { page, errors } = s;
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
  // (Each duel is played again should the test's own key come after the opponent on a busy machine.)
  await winDuel(page, async () => {
    await moveTo(page, 'Tab', 'cbStart');
    await page.keyboard.press('Enter');
  }, () => page.keyboard.press('Space'));

  // Enter presses ZIB! too, even with the focus on Stop.
  await winDuel(page, async () => {
    await moveTo(page, 'Tab', 'cbStart');
    await page.keyboard.press('Space');
  }, async () => {
    await moveTo(page, 'Tab', 'cbStop');
    await page.keyboard.press('Enter');
  });
  assert.deepEqual(errors, []);
});

test('in a duel the keys do what the duel needs, with the focus on Stop', async () => {
  const { page, errors } = s;
  await pick(page, 'mnuVE');
  const opponent = draw + levels.mnuVE;
  // What the screen shows when the key goes down, the key, and how the duel ends.
  for (const [when, key, ends] of [
    ['cbStop', 'Space', 'frmLoose'],                   // during the drop: too early, and the duel goes on
    ['cbStop ziboppo', 'Space', 'frmLoose'],           // after the opponent's ZIB!: the loss is shown
    ['cbStop', 'Escape', 'stopped'],                   // Stop's key
    ['cbStop Zib', 'Control+Space', 'frmLoose'],       // a shortcut is no press
  ]) {
    const what = `${key} at "${when}"`;
    await until(page, 'cbStart');
    const from = await page.evaluate(() => window.zib.now());
    await page.click(button('cbStart'));
    await until(page, when);
    assert.equal(await focused(page), 'cbStop', `${what}: the focus passed from Start to Stop`);
    await page.keyboard.press(key);
    if (ends === 'stopped') {
      await until(page, 'cbStart');
      assert.equal(await focused(page), 'cbStart', `${what}: the focus back on Start, ready for the next duel`);
      // Past the moment the result window would have shown: nothing came of the duel.
      await untilRuntime(page, from + opponent + resultAfter + 100);
      assert.equal(await screen(page), 'cbStart', what);
      assert.ok(!(await everShown(page, 'frmLoose', from)), `${what}\n${await story(page, from)}`);
    } else {
      await until(page, ends).catch(async (e) => { throw new Error(`${what}: ${e.message}\n${await story(page, from)}`); });
      assert.ok(!(await everShown(page, 'zibyou', from)), `${what} pressed ZIB!\n${await story(page, from)}`);
    }
  }
  await until(page, 'cbStart');
  assert.deepEqual(errors, []);
});
