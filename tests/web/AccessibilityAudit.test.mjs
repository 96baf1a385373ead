// SPDX-License-Identifier: MIT
// axe-core's audit of the page as a player meets it: the duel window idle,
// its Skill menu open with a level checked, a duel under way, a result
// window, and the page after Quit.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFile } from 'node:fs/promises';
import { session } from './harness.mjs';
import { button, handBack, menu, pick, until, untilRuntime } from './game.mjs';

const axeSource = await readFile(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

const s = session();

// Every rule axe-core runs by default (but those named), on the whole page; each violation told with where it
// was found.
async function audit(page, when, skip = []) {
  // Evaluated through the protocol, as the page's policy lets in no script of another's.
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(axeSource);
  const rules = Object.fromEntries(skip.map((rule) => [rule, { enabled: false }]));
  const { violations } = await page.evaluate((rules) => window.axe.run(document, { rules }), rules);
  const found = violations.map((v) => `${v.id} (${v.impact}): ${v.help}; at ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
  assert.deepEqual(found, [], when);
}

test('an axe-core audit finds nothing, idle, in the menu, in a duel, in a result window and after Quit', async () => {
  const { page, errors } = s;
  await audit(page, 'idle');
  await pick(page, 'mnuH');
  await page.click(menu('mnuSkill'));
  await page.locator('[role="menu"]').waitFor({ state: 'visible' });
  await audit(page, 'the Skill menu open, Hard checked');
  await page.keyboard.press('Escape');
  await untilRuntime(page, handBack + 50);
  await page.click(button('cbStart'));
  await until(page, 'cbStop Zib', 10000);
  await audit(page, 'in the draw');
  // The result windows keep the game's own colours, red on green and green on red, 2.9:1 where large text
  // asks for 3:1: contrast is the one rule left out there.
  await until(page, 'frmLoose');
  await audit(page, 'a result window', ['color-contrast']);
  await until(page, 'cbStart');
  await page.click(menu('mnuQuit'));
  await page.locator('[data-ended]').waitFor({ state: 'visible' });
  await audit(page, 'after Quit');
  assert.deepEqual(errors, []);
});
