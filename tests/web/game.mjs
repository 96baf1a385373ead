// SPDX-License-Identifier: MIT
// Zib! as the player meets it in the page: what shows, the skill menu, the
// duel's moments on the page's runtime clock, and the pencil read off the
// screen.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { box, pixels, webDir } from './harness.mjs';

// The game's own timings, which the build writes from its tables beside the web folder's build.
const table = JSON.parse(readFileSync(process.env.ZIB_GAME_TABLE ?? join(webDir, '..', 'tests', 'web', 'game.json'), 'utf8'));
// Each skill item and how long the opponent takes to draw, in ms.
export const levels = Object.fromEntries(table.levels.map((l) => [l.item, l.reaction]));
// The duel window's timeline after Start, in ms: the draw (after ten drop steps), and the result window that
// long after the opponent. The result windows are loaded at start-up and hand the duel window back when they
// close, `handBack` later; a duel started before then is cut off.
export const { draw, resultAfter, resultStays: handBack } = table;

export const duel = '[data-form="frmzib"]';
export const button = (name) => `${duel} button[data-control="${name}"]`;
export const menu = (name) => `[data-menu="${name}"]`;

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

// The names of what matches `selector` in the page: each menu's or control's, or else its tag.
export const named = (page, selector) => page.evaluate((s) => [...document.querySelectorAll(s)].map((e) =>
  e.dataset.menu ?? e.dataset.control ?? e.tagName), selector);

// Waits until the screen reads `want`, looking at every change to the page, however briefly it shows.
export async function until(page, want, timeout = 10000) {
  await page.waitForFunction(readScreen, { timeout, polling: 'mutation' }, want).catch(async (e) => {
    throw new Error(`waited for "${want}", the screen shows "${await screen(page).catch(() => e.message)}"`);
  });
}

// The page's runtime clock; and waits until it reaches `ms`.
export const now = (page) => page.evaluate(() => window.zib.now());
export const untilRuntime = (page, ms) => page.waitForFunction((t) => window.zib.now() >= t, { polling: 'raf', timeout: ms + 20000 }, ms);

// Picks a skill level with the mouse, through the Skill menu.
export const pick = (page, item) => page.click(menu('mnuSkill')).then(() => page.click(menu(item)));

// The duel window's client area as drawn, 600 x 399 at scale 1: its pixels, read off a screenshot of the page
// so that nothing else of the page is cropped in.
export async function clientPixels(page) {
  const client = await box(page, `${duel} [data-client]`), shot = await pixels(page);
  const [x0, y0] = [Math.round(client.x), Math.round(client.y)];
  return {
    box: client,
    at: (x, y) => shot.at(x0 + x, y0 + y),
    extent: (match, [x, y, w, h]) => shot.extent(match, [x0 + x, y0 + y, w, h])?.map((v, i) => v - (i % 2 ? y0 : x0)) ?? null,
  };
}

// The pencil set the client area shows: 1 (top) to 10 (on the rule), from the rows where its yellow body is
// drawn, or 0 unless exactly one whole set shows.
export function pencilSet(client) {
  const rows = [];
  for (let set = 1; set <= 10; ++set) if (client.at(300, 8 + 24 * (set - 1) + 8) === 0xffff00) rows.push(set);
  return rows.length === 1 ? rows[0] : 0;
}

// The page's own log from runtime ms `from` on: each time the page was brought up to date, the runtime's time
// then and what it showed, hid, enabled or disabled.
export const log = (page, from) => page.evaluate((from) => window.zib.log.filter((e) => e.moment >= from), from);

// The same told one line each: when it happened, and what it showed (+), hid (-), enabled (+) or disabled (-).
export async function story(page, from = 0) {
  const epoch = await page.evaluate(() => window.zib.epoch);
  return (await log(page, from)).map((e) => `${e.moment}, at ${(e.at - epoch).toFixed(1)}: ` +
    [...e.shown.map((n) => '+' + n), ...e.hidden.map((n) => '-' + n), ...e.enabled.map((n) => '+' + n),
     ...e.disabled.map((n) => '-' + n)].join(' ')).join('\n');
}

// Whether the page's log shows `name` shown from runtime ms `from` on.
export const everShown = async (page, name, from) => (await log(page, from)).some((e) => e.shown.includes(name));

// Plays a duel to a win: `start` presses Start, `zib` presses ZIB! once it is enabled, and the duel is played
// out to idle again. A press that reaches the page only after the opponent has drawn (the test's own steps
// held up on a busy machine) is rightly a loss: that duel is played again, up to three times.
export async function winDuel(page, start, zib) {
  for (let tries = 1; ; ++tries) {
    const from = await now(page);
    await start();
    await until(page, 'cbStop Zib');
    await zib();
    await until(page, 'cbStart');
    if (await everShown(page, 'frmWin', from)) return;
    if (tries === 3) throw new Error(`no win in three duels\n${await story(page, from)}`);
  }
}

// axe-core's audit of the whole page as it is, every rule it runs by default but those named; each violation
// told with where it was found. (Evaluated through the protocol: the page's policy lets in no other script.)
const axe = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
export async function audit(page, when, skip = []) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(axe);
  const rules = Object.fromEntries(skip.map((rule) => [rule, { enabled: false }]));
  const { violations } = await page.evaluate((rules) => window.axe.run(document, { rules }), rules);
  assert.deepEqual(violations.map((v) => `${v.id}: ${v.help}; at ${v.nodes.map((n) => n.target.join(' '))}`), [], when);
}

// Where each of a window's captions, drawn alone, lies beyond its box less a pixel at each edge, or beyond the
// window's: "label [ink] outside [room]" for each that does, so nothing for a window whose captions all fit.
// The window is looked at in a copy laid over it as it shows, which stays however briefly the window does.
export async function captionsOutside(page, form) {
  const copy = '[data-form="copy"]', outside = [];
  await page.evaluate((form) => {
    const c = Object.assign(document.querySelector(`[data-form="${form}"]`).cloneNode(true), { hidden: false });
    c.dataset.form = 'copy';
    c.style.zIndex = 1000;
    document.body.append(c);
  }, form);
  const client = await box(page, `${copy} [data-client]`);
  for (const name of await named(page, `${copy} .label`)) {
    // The label alone, with its caption or without: what differs is the caption's ink.
    // Compared once the picture holds still: a browser may hand back a frame from before the change.
    const alone = async (caption) => {
      await page.evaluate(([s, name, caption]) => document.querySelectorAll(s).forEach((e) => {
        e.style.display = e.dataset.control === name ? 'flex' : 'none';
        e.firstChild.style.visibility = caption ? 'visible' : 'hidden';
      }), [`${copy} .label`, name, caption]);
      for (let was = await pixels(page); ;) {
        const now = await pixels(page);
        if (now.same(was)) return now;
        was = now;
      }
    };
    const [bare, drawn] = [await alone(false), await alone(true)];
    const l = await box(page, `${copy} [data-control="${name}"]`);
    const room = [Math.max(l.x, client.x) + 1, Math.max(l.y, client.y) + 1, Math.min(l.x + l.width, client.x + client.width) - 2,
                  Math.min(l.y + l.height, client.y + client.height) - 2].map(Math.round);
    const ink = drawn.extent((c, x, y) => c !== bare.at(x, y), [client.x, client.y, client.width, client.height].map(Math.round));
    if (!ink || ink[0] < room[0] || ink[1] < room[1] || ink[2] > room[2] || ink[3] > room[3])
      outside.push(`${name} [${ink}] outside [${room}]`);
  }
  await page.evaluate((copy) => document.querySelector(copy).remove(), copy);
  return outside;
}
