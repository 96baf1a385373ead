// SPDX-License-Identifier: MIT
// Zib! as the player meets it in the page: what shows, the skill menu, the
// duel's moments on the page's runtime clock, and the pencil read off the
// screen.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pixels, webDir } from './harness.mjs';

// The game's own timings, which the build writes from its tables beside the web folder's build.
const table = JSON.parse(readFileSync(process.env.ZIB_GAME_TABLE ?? join(webDir, '..', 'tests', 'web', 'game.json'), 'utf8'));
// Each skill item and how long the opponent takes to draw, in ms; the items' captions, in menu order.
export const levels = Object.fromEntries(table.levels.map((l) => [l.item, l.reaction]));
export const levelCaptions = table.levels.map((l) => l.caption);
// The duel window's timeline after Start, in ms: the draw (after ten drop steps), and the result window that
// long after the opponent.
export const { draw, resultAfter } = table;
// The start-up hand-back: the result windows are loaded at start-up and hand the duel window back when they
// close; a duel started before then is cut off.
export const handBack = table.resultStays;

export const duel = '[data-form="frmzib"]';
export const button = (name) => `${duel} button[data-control="${name}"]`;
export const label = (name) => `${duel} [data-control="${name}"]`;
export const menu = (name) => `[role="menubar"] [data-menu="${name}"]`;

// What the player sees, told as the desktop tests tell it: the duel window's enabled buttons and shown labels,
// then any other window shown ("cbStart" when idle; "frmWin" alone when a win is announced). Run in the page.
// (A function, not a string, for the page's content security policy allows no evaluation of strings.)
function readScreen(want) {
  const shown = (e) => !!e && e.checkVisibility();
  const forms = [...document.querySelectorAll('[data-form]')].filter(shown).map((e) => e.dataset.form);
  const q = (s) => document.querySelector('[data-form="frmzib"] ' + s);
  const seen = [];
  if (forms.includes('frmzib')) {
    for (const b of ['cbStart', 'cbStop', 'Zib']) if (q('button[data-control="' + b + '"]')?.disabled === false) seen.push(b);
    for (const l of ['zibyou', 'ziboppo', 'noskill']) if (shown(q('[data-control="' + l + '"]'))) seen.push(l);
  }
  const text = [...seen, ...forms.filter((f) => f !== 'frmzib')].join(' ');
  return want === undefined ? text : text === want;
}
export const screen = (page) => page.evaluate(readScreen);

// Waits until the screen reads `want`, looking at every change to the page, however briefly it shows.
export async function until(page, want, timeout = 10000) {
  await page.waitForFunction(readScreen, want, { timeout, polling: 'mutation' })
    .catch(async (e) => {
      const recent = await story(page, (await page.evaluate(() => window.zib.now())) - timeout - 3000).catch(() => '');
      throw new Error(`waited for "${want}", the screen shows "${await screen(page)}" (${e.message.split('\n')[0]})\n${recent}`);
    });
}

// Waits until the page's runtime clock reaches `ms`.
export function untilRuntime(page, ms) {
  return page.waitForFunction((t) => window.zib.now() >= t, ms, { polling: 'raf', timeout: ms + 20000 });
}

// Picks a skill level with the mouse, through the Skill menu.
export async function pick(page, item) {
  await page.click(menu('mnuSkill'));
  await page.click(`[role="menu"] [data-menu="${item}"]`);
}

// The duel window's client area as drawn, 600 x 399 at scale 1: its pixels, read off a screenshot of the page
// so that nothing else of the page is cropped in.
export async function clientPixels(page, form = 'frmzib') {
  const box = await page.locator(`[data-form="${form}"] [data-client]`).boundingBox();
  const shot = pixels(await page.screenshot({ animations: 'disabled', caret: 'hide' }));
  const x0 = Math.round(box.x), y0 = Math.round(box.y);
  return {
    ...shot, box,
    at: (x, y) => shot.at(x0 + x, y0 + y),
    // Clipped to the client area, as the desktop's image of it is.
    extent: (match, [x, y, w, h]) => {
      const [cw, ch] = [Math.round(box.width), Math.round(box.height)];
      [w, h] = [Math.min(x + w, cw) - Math.max(x, 0), Math.min(y + h, ch) - Math.max(y, 0)];
      [x, y] = [Math.max(x, 0), Math.max(y, 0)];
      const e = shot.extent(match, [x0 + x, y0 + y, w, h]);
      return e && [e[0] - x0, e[1] - y0, e[2] - x0, e[3] - y0];
    },
  };
}

// The pencil set the client area shows: 1 (top) to 10 (on the rule), from the rows where its yellow body is
// drawn, or 0 unless exactly one whole set shows.
export function pencilSet(client) {
  const rows = [];
  for (let set = 1; set <= 10; ++set) if (client.at(300, 8 + 24 * (set - 1) + 8) === 0xffff00) rows.push(set);
  return rows.length === 1 ? rows[0] : 0;
}

// The page's own log of what the events changed, from runtime ms `from` on, one line each time the page was
// brought up to date: the runtime's time then, when it happened, and what it showed (+), hid (-), enabled (+)
// or disabled (-), on the runtime clock.
export function story(page, from = 0) {
  return page.evaluate((from) => window.zib.log.filter((e) => e.moment >= from).map((e) => {
    const changes = [...e.shown.map((n) => '+' + n), ...e.hidden.map((n) => '-' + n),
                     ...e.enabled.map((n) => '+' + n), ...e.disabled.map((n) => '-' + n)].join(' ');
    return `${e.moment}, at ${(e.at - window.zib.epoch).toFixed(1)}: ${changes}`;
  }).join('\n'), from);
}

// Whether the page's log shows `name` shown from runtime ms `from` on.
export const everShown = (page, name, from) =>
  page.evaluate(([n, from]) => window.zib.log.some((e) => e.moment >= from && e.shown.includes(n)), [name, from]);

// Plays a duel to a win: `start` presses Start, `zib` presses ZIB! once it is enabled, and the duel is played
// out to idle again. A press that reaches the page only after the opponent has drawn (the test's own steps
// held up on a busy machine) is rightly a loss: that duel is played again, up to three times.
export async function winDuel(page, start, zib) {
  for (let tries = 1; ; ++tries) {
    const from = await page.evaluate(() => window.zib.now());
    await start();
    await until(page, 'cbStop Zib');
    await zib();
    await until(page, 'cbStart');
    if (await everShown(page, 'frmWin', from)) return;
    if (tries === 3) throw new Error(`no win in three duels\n${await story(page, from)}`);
  }
}
