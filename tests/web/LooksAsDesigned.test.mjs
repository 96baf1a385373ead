// SPDX-License-Identifier: MIT
// The duel window as the player first meets it. The page shows it at once,
// drawn by the build before the program has arrived: it takes no press, and
// it is pixel for pixel what the game then draws. At rest the rule, the
// pencil, the bubbles and the buttons land on the pixels the desktop build's
// render test holds them to (only text may differ, by the font rasteriser),
// the Skill menu opens over everything, and axe-core finds nothing to fault,
// idle or with the menu open.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { box, dark, is, load, pixels, press, session } from './harness.mjs';
import { audit, captionsOutside, clientPixels, menu, named, pick } from './game.mjs';

const s = session({ viewport: { width: 1024, height: 768 } }, { loaded: false });

// The whole page as drawn, once its fonts and pictures are in, the mouse out of the way.
async function shot(page) {
  await page.mouse.move(0, 0);
  await page.evaluate(() => Promise.all([document.fonts.ready, ...[...document.images].map((i) => i.decode().catch(() => {}))]));
  return pixels(page);
}

test("the build's first frame shows at once, takes no press, and is the game's", async () => {
  const { server, page } = s;
  // The program held back: only the page's own frame shows.
  const hold = (r) => (r.url().endsWith('/zib.js') ? r.respond({ contentType: 'text/javascript', body: '' }) : r.continue());
  await page.setRequestInterception(true);
  page.on('request', hold);
  await page.goto(server.url);
  const start = await box(page, '[data-first] button[data-control="cbStart"]');
  await page.mouse.click(start.x + 5, start.y + 5);
  await press(page, 'Space');
  const first = await shot(page);
  page.off('request', hold);
  await page.setRequestInterception(false);
  await load(page, server.url);
  assert.deepEqual(await named(page, '[data-first]'), [], 'the game has taken over');
  const game = await shot(page);
  assert.equal(game.extent((c, x, y) => c !== first.at(x, y)), null, "pixels differ between the first frame, pressed, and the game's");
});

test('idle, the duel window alone, its parts on the pixels of the desktop render', async () => {
  const { page } = s;
  assert.equal(await page.title(), 'Zib!');
  await audit(page, 'idle');
  const image = await clientPixels(page), notBlack = is(0x000000, false), notWhite = is(0xffffff, false);
  assert.deepEqual([image.box.width, image.box.height], [600, 399], 'the client area at scale 1');
  // What is drawn where: the part, what its pixels are, where they are looked for and where they are found.
  for (const [part, match, region, found] of [
    ['the rule, 4 pixels high across the window', dark, [0, 230, 600, 20], [0, 238, 599, 241]],
    ['the rule solid black', notBlack, [0, 238, 600, 4], null],
    ['the pencil at the top, alone above the rule', notWhite, [0, 0, 600, 238], [72, 8, 528, 24]],
    ["the pencil's body", is(0xffff00), [0, 0, 600, 238], [105, 9, 511, 23]],
    ["the pencil's end square", is(0xc04000), [0, 0, 600, 238], [513, 9, 527, 23]],
    ["the pencil's body's lower edge", notBlack, [104, 24, 425, 1], null],
    ['your bubble', dark, [4, 252, 188, 118], [8, 258, 185, 365]],
    ["your bubble empty around its hidden ZIB!", notWhite, [24, 272, 145, 41], null],
    ["the opponent's bubble", dark, [412, 260, 188, 118], [418, 264, 595, 371]],
    ["the opponent's bubble empty around its hidden ZIB!", notWhite, [432, 304, 145, 41], null],
    ['ZIB!', notWhite, [204, 300, 201, 65], [208, 304, 400, 360]],
    ['Start', notWhite, [260, 252, 41, 41], [264, 256, 296, 288]],
    ['Stop', notWhite, [300, 252, 41, 41], [304, 256, 336, 288]],
  ]) assert.deepEqual(image.extent(match, region), found, part);
  assert.ok(dark(image.at(72, 16)) && dark(image.at(300, 8)), "the pencil's tip and outline");
  assert.deepEqual(await captionsOutside(page, 'frmzib'), [], 'captions cut off');

  // The Skill menu, a level picked and opened again, over everything in the window, nothing of the pencil
  // showing through; Escape closes it.
  await pick(page, 'mnuH');
  await page.click(menu('mnuSkill'));
  const open = await box(page, '[role="menu"]'), drawn = await clientPixels(page);
  const [mx, my, mw, mh] = [open.x - drawn.box.x, open.y - drawn.box.y, open.width, open.height].map(Math.round);
  assert.ok(my < 9 && mx + mw > 110, `the menu at ${[mx, my, mw, mh]} over the pencil's body`);
  assert.equal(drawn.extent(is(0xffff00), [mx, my, mw, mh]), null, "the pencil's body shows through the open menu");
  await audit(page, 'the Skill menu open');
  await press(page, 'Escape');
  assert.deepEqual(await named(page, '[aria-expanded="true"], [role="menu"]:not([hidden])'), []);
});
