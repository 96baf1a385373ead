// SPDX-License-Identifier: MIT
// Zib! from the keyboard alone: Tab to the Skill menu, open it, move to a
// level and check it; Escape leaves the level as it was. Then duels: Tab to
// Start and press it with Enter or Space, and ZIB! at the draw with the
// other, wherever the focus is. Then the keys the game keeps for itself in a
// duel, with the focus on Stop: an early or late Space neither stops the duel
// nor hides its result, Ctrl+Space is no press, and Escape stops it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { press, session } from './harness.mjs';
import { button, draw, named, everShown, handBack, levels, now, pick, resultAfter, story, until, untilRuntime, winDuel } from './game.mjs';

const s = session();

// What has the focus: a menu item or a button, by its name.
const focused = (page) => named(page, ':focus').then((all) => all.join());

// Presses `key` until `name` has the focus, at most `most` times.
async function moveTo(page, key, name, most = 12) {
  for (let i = 0; i < most && (await focused(page)) !== name; ++i) await press(page, key);
  assert.equal(await focused(page), name, `${key} to ${name}`);
}

test('the menu, Start and ZIB! from the keyboard', async () => {
  const { page } = s;
  const menuOpen = (open) => page.waitForFunction((open) => !document.querySelector('[role="menu"]').hidden === open &&
    document.querySelector('[data-menu="mnuSkill"]').getAttribute('aria-expanded') === String(open), {}, open);
  // Down to Medium and Enter checks it; Escape then closes the menu and leaves the level as it was.
  for (const [to, key] of [['mnuM', 'Enter'], ['mnuVE', 'Escape']]) {
    await moveTo(page, 'Tab', 'mnuSkill');
    await press(page, 'Enter');
    await menuOpen(true);
    await moveTo(page, 'ArrowDown', to, 6);
    await press(page, key);
    await menuOpen(false);
    assert.deepEqual(await named(page, '[aria-checked="true"]'), ['mnuM'], key);
  }
  await untilRuntime(page, handBack + 50);
  // (Each duel is played again should the test's own key come after the opponent on a busy machine.)
  for (const [start, zib] of [['Enter', 'Space'], ['Space', 'Enter']])
    await winDuel(page, () => moveTo(page, 'Tab', 'cbStart').then(() => press(page, start)), () => press(page, zib));
});

test('in a duel the keys do what the duel needs, with the focus on Stop', async () => {
  const { page } = s;
  await pick(page, 'mnuVE');
  // What the screen shows when the key goes down, the key, and how the duel ends.
  for (const [when, key, ends] of [
    ['cbStop', 'Space', 'frmLoose'],                   // during the drop: too early, and the duel goes on
    ['cbStop ziboppo', 'Space', 'frmLoose'],           // after the opponent's ZIB!: the loss is shown
    ['cbStop', 'Escape', 'stopped'],                   // Stop's key
    ['cbStop Zib', 'Control+Space', 'frmLoose'],       // a shortcut is no press
  ]) {
    const what = `${key} at "${when}"`;
    await until(page, 'cbStart');
    const from = await now(page);
    await page.click(button('cbStart'));
    await until(page, when);
    assert.equal(await focused(page), 'cbStop', `${what}: the focus passed from Start to Stop`);
    await press(page, key);
    if (ends === 'stopped') {
      await until(page, 'cbStart');
      assert.equal(await focused(page), 'cbStart', `${what}: the focus back on Start, ready for the next duel`);
      // Past the moment the result window would have shown: nothing came of the duel.
      await untilRuntime(page, from + draw + levels.mnuVE + resultAfter + 100);
      assert.ok(!(await everShown(page, 'frmLoose', from)), `${what}\n${await story(page, from)}`);
    } else {
      await until(page, ends).catch(async (e) => { throw new Error(`${what}: ${e.message}\n${await story(page, from)}`); });
      assert.ok(!(await everShown(page, 'zibyou', from)), `${what} pressed ZIB!\n${await story(page, from)}`);
    }
  }
});
