// SPDX-License-Identifier: MIT
// The duel window's other ways: Start with no level warns for three seconds,
// and a screen reader says the warning; Stop in mid-drop goes straight back
// to idle, even when it reaches the page after later drop steps; hiding the
// page in mid-duel stops it as Stop does; and Quit or closing the page ends
// the game; the page then says so and starts it again on request.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session, stamper, centre, untilReady } from './harness.mjs';
import { button, clientPixels, draw, handBack, label, levels, menu, pencilSet, pick, resultAfter, screen, until,
         untilRuntime } from './game.mjs';

const s = session();

// The page's log from runtime ms `from` on: the runtime's time and the controls shown and hidden each time the
// page was brought up to date.
const events = (page, from) => page.evaluate((from) => window.zib.log.filter((e) => e.moment >= from)
  .map((e) => ({ moment: e.moment, shown: e.shown, hidden: e.hidden })), from);

test('Start with no level shows the warning for three seconds', async () => {
  const { page, errors } = s;
  await untilRuntime(page, handBack + 50);
  const from = await page.evaluate(() => window.zib.now());
  await page.click(button('cbStart'));
  await until(page, 'cbStart noskill');
  assert.equal((await page.locator(label('noskill')).innerText()).trim(), 'Select a Skill Level!!');
  await page.waitForFunction(() => document.querySelector('[data-announce]').textContent === 'Select a Skill Level!!',
                             null, { timeout: 2000 });
  await until(page, 'cbStart');
  const warning = (await events(page, from)).filter((e) => e.shown.includes('noskill') || e.hidden.includes('noskill'));
  assert.deepEqual(warning.map((e) => e.shown.includes('noskill')), [true, false]);
  assert.equal(warning[1].moment - warning[0].moment, 3000, 'shown for 3000 ms');
  assert.deepEqual(errors, []);
});

test('Stop in mid-drop, reaching the page after two more drop steps, puts the pencil back and no duel follows', async () => {
  const { page, cdp, errors } = s;
  // Start, and Stop 210 ms later, each as stamped; Stop reaches the page 100 ms after its stamp, past the drop
  // steps at 250 and 300 ms. What counts is when it was made.
  await pick(page, 'mnuE');
  const stamps = await stamper(page, cdp);
  const [startAt, stopAt] = [await centre(page, button('cbStart')), await centre(page, button('cbStop'))];
  const from = Math.floor(stamps.now()) + 20, rewinds = await page.evaluate(() => window.zib.rewinds());
  await stamps.press(startAt.x, startAt.y, from + 0.5);
  await stamps.press(stopAt.x, stopAt.y, from + 210.5, { late: 100 });
  await until(page, 'cbStart');
  const played = await events(page, from);
  const stop = played.findLast((e) => ['p11', 'p12', 'p13', 'p14'].every((p) => e.shown.includes(p)));
  assert.ok(stop, 'the pencil back on top');
  assert.equal(pencilSet(await clientPixels(page)), 1);
  // (Where the protocol cannot hold a press up, Stop came on time, with nothing to take back.)
  if (stamps.onDemand)
    assert.ok(await page.evaluate((r) => window.zib.rewinds() > r, rewinds), 'Stop taken back to its stamp');
  // Past the moment the result window would have shown: nothing happened after Stop.
  await untilRuntime(page, from + draw + levels.mnuE + resultAfter + 100);
  assert.deepEqual((await events(page, stop.moment + 1)), [], 'nothing after Stop');
  assert.equal(await screen(page), 'cbStart');
  assert.deepEqual(errors, []);
});

test('hidden in mid-duel, the page stops the duel there and stays idle until the player is back', async () => {
  const { page, errors } = s;
  // Headless, neither browser's protocol hides a page: the page is told it is hidden as a browser tells it,
  // its visibility state and the event. Resolves to the runtime time it was told.
  const visibility = (state) => page.evaluate((state) => {
    Object.defineProperty(document, 'visibilityState', { value: state, configurable: true });
    Object.defineProperty(document, 'hidden', { value: state === 'hidden', configurable: true });
    const event = new Event('visibilitychange', { bubbles: true });
    document.dispatchEvent(event);
    return event.timeStamp - window.zib.epoch;
  }, state);
  await pick(page, 'mnuVE');
  for (const when of ['cbStop', 'cbStop Zib']) {
    await until(page, 'cbStart');
    const from = await page.evaluate(() => window.zib.now());
    await page.click(button('cbStart'));
    await until(page, when);
    const hidden = await visibility('hidden');
    await until(page, 'cbStart');
    assert.equal(pencilSet(await clientPixels(page)), 1, `hidden at "${when}": the pencil back on top`);
    const stopped = await page.evaluate((from) => window.zib.log.findLast((e) => e.moment >= from &&
                                                                           e.enabled.includes('cbStart')), from);
    assert.equal(stopped?.moment, Math.floor(hidden), `hidden at "${when}": stopped at the moment it was hidden`);
    // Past the moment the result window would have shown: nothing came of the duel, hidden or back.
    await untilRuntime(page, from + draw + levels.mnuVE + resultAfter + 100);
    assert.deepEqual(await events(page, stopped.moment + 1), [], `hidden at "${when}": nothing after`);
    await visibility('visible');
    assert.equal(await screen(page), 'cbStart');
  }
  await page.evaluate(() => { delete document.visibilityState; delete document.hidden; });
  assert.deepEqual(errors, []);
});

test('Quit ends the game; the page says so and starts it again', async () => {
  const { page, cdp, errors } = s;
  await page.click(menu('mnuQuit'));
  const ended = page.locator('[data-ended]');
  await ended.waitFor({ state: 'visible' });
  assert.match(await ended.innerText(), /ended/i);
  assert.equal(await screen(page), '', 'no window left');
  await page.click('button[data-restart]');
  await untilReady(page);
  await until(page, 'cbStart');
  assert.equal(await ended.isVisible(), false);
  // A new program: no level picked yet.
  await page.click(menu('mnuSkill'));
  assert.deepEqual(await page.$$eval('[role="menuitemradio"]', (all) => all.map((i) => i.getAttribute('aria-checked'))),
                   ['false', 'false', 'false', 'false', 'false']);
  assert.deepEqual(errors, []);
});

test('closing the page ends the game at once, in mid-duel', async () => {
  const { page, cdp, errors } = s;
  await page.keyboard.press('Escape');
  await pick(page, 'mnuVE');
  await untilRuntime(page, handBack + 50);
  await page.click(button('cbStart'));
  await until(page, 'cbStop');
  // What the browser tells a page it is leaving; should it come back from the browser's cache, it has ended.
  await page.evaluate(() => dispatchEvent(new PageTransitionEvent('pagehide', { persisted: true })));
  await page.locator('[data-ended]').waitFor({ state: 'visible' });
  assert.equal(await screen(page), '', 'no window left');
  assert.equal(await page.evaluate(() => window.zib.ended), true);
  assert.deepEqual(errors, []);
});
