// SPDX-License-Identifier: MIT
// Very Hard duels played in the page with presses stamped at chosen moments
// through the DevTools protocol, as Chromium stamps real ones, each reaching
// the page 30 ms after its stamp, as input held up on a busy machine does.
// By then the opponent's ZIB! is on screen. A press made a millisecond
// before the opponent draws wins all the same: the runtime goes back to the
// press. One made in the opponent's millisecond loses. Then the bubbles, the
// pencil on the rule and the result windows are checked on screen.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session, stamper, centre, dark } from './harness.mjs';
import { button, clientPixels, draw, handBack, levels, pencilSet, pick, story, until, untilRuntime } from './game.mjs';

const s = session({ viewport: { width: 1024, height: 768 } });

// Colours of text as the desktop render test reads them (as QColor does): of the label's hue, strongly saturated.
const hue = (c) => {
  const r = (c >> 16) / 255, g = ((c >> 8) & 0xff) / 255, b = (c & 0xff) / 255;
  const max = Math.max(r, g, b), min = Math.min(r, g, b), d = max - min;
  if (d === 0) return { h: -1, s: 0 };
  const h = max === r ? ((g - b) / d + 6) % 6 : max === g ? (b - r) / d + 2 : (r - g) / d + 4;
  return { h: Math.round(h * 60) % 360, s: Math.round((d / max) * 255) };
};
const tinted = (want) => (c) => { const { h, s } = hue(c); return h === want && s > 155; };

test('a press stamped 1 ms before the opponent wins though it comes 30 ms late, one in its millisecond loses', async () => {
  const { page, cdp, errors } = s;
  await pick(page, 'mnuVH');
  await untilRuntime(page, handBack + 50);
  const stamps = await stamper(page, cdp);
  const start = await centre(page, button('cbStart')), zib = await centre(page, button('Zib'));
  const sizes = { frmWin: [216, 136], frmLoose: [268, 121] };
  for (const early of [1, 0]) {
    await until(page, 'cbStart');
    // Start clicked half-way into a millisecond, so the stamp's millisecond is beyond doubt.
    const chosen = Math.floor(stamps.now()) + 30;
    await stamps.press(start.x, start.y, chosen + 0.5);
    const started = Math.floor(await stamps.stamp('click'));
    await until(page, 'cbStop Zib');
    const opponent = started + draw + levels.mnuVH, rewinds = await page.evaluate(() => window.zib.rewinds());
    const sent = stamps.pageTime(await stamps.press(zib.x, zib.y, opponent - early + 0.5, { late: 30 }));
    // The press wins if the page saw it stamped before the opponent's millisecond: where the protocol stamps
    // it, exactly as chosen; where the browser does, whenever it took it.
    const stamp = await stamps.stamp();
    if (stamps.onDemand) assert.equal(Math.floor(stamp), opponent - early, 'the press stamped as chosen');
    const won = Math.floor(stamp) < opponent, outcome = won ? 'frmWin' : 'frmLoose', size = sizes[outcome];
    await until(page, won ? 'cbStop zibyou ziboppo' : 'cbStop ziboppo');
    if (won) {
      const { shownAt, went } = await page.evaluate((o) => ({
        shownAt: window.zib.log.find((e) => e.moment >= o && e.shown.includes('ziboppo'))?.at, went: window.zib.rewinds() }),
      opponent);
      // Unless the page's timer came later still, the press found the opponent's ZIB! shown.
      if (shownAt < sent) assert.equal(went - rewinds, 1, `one rewind for the late press\n${await story(page, started)}`);
    }
    // The result window as it shows, read in the page then (the screenshots below may take longer than it
    // stays): its box and its client area's, and what the live region says by the next frame.
    const result = page.raw.waitForFunction((f) => {
      const form = document.querySelector(`[data-form="${f}"]`);
      if (!form.checkVisibility()) return null;
      const box = (e) => { const r = e.getBoundingClientRect(); return { x: r.x, y: r.y, width: r.width, height: r.height }; };
      return new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(() => done({
        form: box(form), client: box(form.querySelector('[data-client]')), name: form.getAttribute('aria-label'),
        said: document.querySelector('[data-announce]').textContent }))));
    }, { polling: 'mutation', timeout: 10000 }, outcome).then((h) => h.jsonValue());
    // (A screenshot holds the page's input up: the pencil is looked at once the duel is decided.)
    const image = await clientPixels(page);
    assert.equal(pencilSet(image), 10, 'the pencil on the rule');
    if (won) {
      // Both bubbles say "ZIB!" in their colours, inside their labels, centred, on white.
      for (const [name, box, h] of [['you', [24, 272, 145, 41], 0], ['opponent', [432, 304, 145, 41], 240]]) {
        const [x, y, w, hh] = box, text = image.extent(tinted(h), [x - 9, y - 9, w + 18, hh + 18]);
        assert.ok(text, `the ${name} ZIB! drawn`);
        assert.ok(text[0] >= x && text[1] >= y && text[2] < x + w && text[3] < y + hh,
                  `the ${name} ZIB! ${text} inside its label ${box}`);
        assert.ok(Math.abs((text[0] + text[2]) / 2 - (x + (w - 1) / 2)) <= 3, `the ${name} ZIB! centred`);
        const ink = image.extent((c) => c !== 0xffffff, box);
        assert.ok(ink[0] >= text[0] - 2 && ink[1] >= text[1] - 2 && ink[2] <= text[2] + 2 && ink[3] <= text[3] + 2,
                  `nothing but the ${name} ZIB! in its label`);
      }
      assert.ok(dark(image.at(300, 239)), 'the rule still drawn');
    }
    const { form, client, name, said } = await result.catch(async (e) => {
      throw new Error(`waited for ${outcome}: ${e.message}\n${await story(page, started)}`);
    });
    // A screen reader is told the result as it shows.
    assert.equal(said, name, 'the result said aloud');
    // The result window in place of the duel window, borderless, centred in the page.
    assert.deepEqual([client.width, client.height], size, `${outcome}'s client area`);
    assert.deepEqual([form.width, form.height], size, `${outcome} has no border or title`);
    const viewport = page.viewportSize();
    assert.ok(Math.abs(form.x + form.width / 2 - viewport.width / 2) <= 1, `${outcome} centred across`);
    assert.ok(Math.abs(form.y + form.height / 2 - viewport.height / 2) <= 1, `${outcome} centred down`);
    await until(page, 'cbStart');
  }
  assert.deepEqual(errors, []);
});
