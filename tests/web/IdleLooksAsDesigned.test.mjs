// SPDX-License-Identifier: MIT
// The duel window at rest, as the page draws it and as a screen reader finds
// it. The rule, the pencil, the bubbles and the buttons land on the pixels
// the desktop build's render test holds them to; only text may differ, by
// the font rasteriser.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { accessibilityTree, session, is, dark } from './harness.mjs';
import { button, clientPixels, duel, label, levelCaptions, screen } from './game.mjs';

const s = session({ viewport: { width: 1024, height: 768 } });

test('the duel window alone, idle, titled and laid out as designed, its parts in their roles', async () => {
  const { page, errors } = s;
  assert.equal(await page.title(), 'Zib!');
  assert.equal(await screen(page), 'cbStart');
  const client = await page.locator(`${duel} [data-client]`).boundingBox();
  assert.deepEqual([client.width, client.height], [600, 399], 'the client area at scale 1');

  // Each button's box in the client area, its caption, and ZIB!'s big bold font; tab order as designed.
  const buttons = await page.$$eval(`${duel} button[data-control]`, (all) => all.map((b) => {
    const c = b.closest('[data-client]').getBoundingClientRect(), r = b.getBoundingClientRect(), s = getComputedStyle(b);
    return { name: b.dataset.control, caption: b.textContent.trim(), box: [r.x - c.x, r.y - c.y, r.width, r.height],
             bold: Number(s.fontWeight) >= 700 ? s.fontSize : '', tabIndex: b.tabIndex };
  }));
  assert.deepEqual(buttons, [
    { name: 'Zib', caption: 'ZIB!', box: [208, 304, 193, 57], bold: '37px', tabIndex: 0 },
    { name: 'cbStart', caption: 'Start', box: [264, 256, 33, 33], bold: '', tabIndex: 0 },
    { name: 'cbStop', caption: 'Stop', box: [304, 256, 33, 33], bold: '', tabIndex: 0 },
  ]);

  // The labels shown, by their captions; the bubbles' "ZIB!" and the warning hidden.
  for (const [name, caption] of [['Label4', 'Opponent'], ['Label6', 'You']])
    assert.equal((await page.locator(label(name)).innerText()).trim(), caption);
  for (const name of ['zibyou', 'ziboppo', 'noskill']) assert.equal(await page.locator(label(name)).isVisible(), false);

  // The menu bar: Skill opens five radio items in order, none checked yet; Quit beside it.
  const skill = page.locator('[role="menubar"] [role="menuitem"][data-menu="mnuSkill"]');
  assert.equal(await skill.innerText(), 'Skill');
  assert.equal(await skill.getAttribute('aria-haspopup'), 'menu');
  assert.equal(await skill.getAttribute('aria-expanded'), 'false');
  assert.equal(await page.locator('[role="menu"]').isVisible(), false);
  assert.equal(await page.locator('[role="menubar"] [role="menuitem"][data-menu="mnuQuit"]').innerText(), 'Quit');
  await skill.click();
  assert.equal(await skill.getAttribute('aria-expanded'), 'true');
  const items = await page.$$eval('[role="menu"] [role="menuitemradio"]', (all) =>
    all.map((i) => [i.dataset.menu, i.textContent.trim(), i.getAttribute('aria-checked')]));
  assert.deepEqual(items, ['mnuVE', 'mnuE', 'mnuM', 'mnuH', 'mnuVH'].map((m, i) => [m, levelCaptions[i], 'false']));
  // The open menu lies over everything in the window: nothing of the pencil shows through it.
  const open = await page.locator('[role="menu"]').boundingBox(), drawn = await clientPixels(page);
  const [mx, my] = [Math.round(open.x - drawn.box.x), Math.round(open.y - drawn.box.y)];
  const [mw, mh] = [Math.round(open.width), Math.round(open.height)];
  assert.ok(my < 9 && mx + mw > 110, `the menu at ${[mx, my, mw, mh]} over the pencil's body`);
  assert.equal(drawn.extent(is(0xffff00), [mx, my, mw, mh]), null, "the pencil's body shows through the open menu");
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => !document.querySelector('[role="menu"]').checkVisibility());
  assert.equal(await skill.getAttribute('aria-expanded'), 'false');

  // What a screen reader is given: the page's accessibility tree, as the browser builds it.
  const tree = await accessibilityTree(page);
  for (const line of ['menubar', 'menuitem "Skill"', 'menuitem "Quit"', 'button "ZIB!" [disabled]', 'button "Start"',
                      'button "Stop" [disabled]', '"Opponent"', '"You"'])
    assert.ok(tree.includes(line), `"${line}" in\n${tree}`);
  assert.ok(!/Win!!!|Loose!!!|Select a Skill/.test(tree), `nothing of the hidden windows or warning in\n${tree}`);
  assert.deepEqual(errors, []);
});

test('the rule, the pencil, the bubbles and the buttons on the pixels of the desktop render', async () => {
  const { page, errors } = s;
  const image = await clientPixels(page);
  const black = is(0x000000), notBlack = is(0x000000, false), notWhite = is(0xffffff, false);

  // The rule: a solid black band 4 pixels high across the whole window.
  assert.deepEqual(image.extent(dark, [0, 230, 600, 20]), [0, 238, 599, 241]);
  assert.equal(image.extent(notBlack, [0, 238, 600, 4]), null);
  assert.ok(black(image.at(0, 238)) && black(image.at(599, 241)));

  // The pencil at the top (set 1), nothing else above the rule.
  const top = 8;
  assert.deepEqual(image.extent(notWhite, [0, top - 7, 600, 24]), [72, top, 528, top + 16], 'the pencil');
  assert.deepEqual(image.extent(is(0xffff00), [0, 0, 600, 238]), [105, top + 1, 511, top + 15], 'its body');
  assert.deepEqual(image.extent(is(0xc04000), [0, 0, 600, 238]), [513, top + 1, 527, top + 15], 'its end square');
  assert.ok(dark(image.at(72, top + 8)), 'its tip');
  assert.ok(dark(image.at(300, top)), "its body's outline");
  assert.equal(image.extent(notBlack, [104, top + 16, 425, 1]), null, "its body's lower edge");
  assert.equal(image.extent(notWhite, [0, top + 17, 600, 238 - top - 17]), null, 'nothing between pencil and rule');

  // Each bubble inside its box, around its (hidden) "ZIB!", white inside.
  for (const [name, box, zib] of [['you', [8, 256, 180, 110], [24, 272, 145, 41]],
                                  ['opponent', [416, 264, 180, 110], [432, 304, 145, 41]]]) {
    const [x, y, w, h] = box, outline = image.extent(dark, [x - 6, y - 6, w + 12, h + 12]);
    assert.ok(outline, `the ${name} bubble drawn`);
    assert.ok(outline[0] >= x && outline[1] >= y && outline[2] < x + w && outline[3] < y + h,
              `the ${name} bubble ${outline} inside its box ${box}`);
    assert.ok(outline[0] + 3 <= zib[0] && outline[1] + 3 <= zib[1] && outline[2] - 3 >= zib[0] + zib[2] - 1 &&
              outline[3] - 3 >= zib[1] + zib[3] - 1, `the ${name} bubble ${outline} around its ZIB! ${zib}`);
    assert.equal(image.extent(notWhite, zib), null, `the ${name} bubble empty`);
  }

  // Each button drawn exactly on its box: nothing of it outside, its edges reached.
  for (const [name, [x, y, w, h]] of [['Zib', [208, 304, 193, 57]], ['cbStart', [264, 256, 33, 33]],
                                      ['cbStop', [304, 256, 33, 33]]]) {
    const inked = image.extent((c) => c !== image.at(x - 4, y + (h >> 1)), [x - 4, y - 4, w + 8, h + 8]);
    assert.deepEqual(inked, [x, y, x + w - 1, y + h - 1], `${name} on its box`);
    assert.ok(await page.locator(button(name)).isVisible());
  }
  assert.deepEqual(errors, []);
});
