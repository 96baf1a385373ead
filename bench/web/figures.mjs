// SPDX-License-Identifier: MIT
// The web build's figures, measured in Debian's Chromium, headless, each
// beside a baseline measured in the same run on a bare page that does the
// same with the browser's own means. One line per figure on standard output;
// per-sample details on standard error with --verbose.
//
// - The folder's size, each file gzipped as a web server would send it.
// - First frame after navigation: the animation frame that first shows the
//   duel window, on a fresh profile (nothing cached), against a blank page's
//   first frame with content.
// - From the page's own log, over Very Hard duels played with presses
//   stamped through the DevTools protocol at -5, -2, -1, +1, +2 and +5 ms
//   from the opponent's moment: timer lateness (the page's timer waking
//   after the moment, before any hold; against setTimeout, plain and with a
//   busy wait); the hold and when timer events were delivered; a press's
//   stamp to its handler (against a bare button's listener); each drop step
//   to the animation frame that shows it, and whether that is the first
//   frame to begin after its moment; and the race judged right (against
//   judging each press when it was handled).
//
//   node bench/web/figures.mjs [--quick] [--verbose]   (ZIB_WEB_DIR: the built folder)
import { readdir, readFile, stat } from 'node:fs/promises';
import { join, relative } from 'node:path';
import { gzipSync } from 'node:zlib';
import { serve, launch, open, load, stamper, centre, webDir, median, percentile } from '../../tests/web/harness.mjs';
import { button, draw, handBack, levels, pick, story, until, untilRuntime } from '../../tests/web/game.mjs';

const quick = process.argv.includes('--quick'), verbose = process.argv.includes('--verbose');
const note = (...text) => { if (verbose) console.error('  ' + text.join(' ')); };
const ms = (v) => (Number.isFinite(v) ? v.toFixed(3) : 'n/a') + ' ms';
const pct = (right, all) => all ? `${Math.round((100 * right) / all)} %` : 'n/a';
const figure = (name, value, baseline, target) => console.log(`web ${name}: ${value}  [baseline ${baseline}; target ${target}]`);

// Pages for the baselines: the browser's own means, nothing of the game.
const bare = {
  // A blank page with a line of text: its first frame.
  '/bench/blank.html': '<!doctype html><html lang="en"><title>blank</title><p>Zib!</p></html>',
  // Timers on whole milliseconds, 50 ms apart as the drop steps: plain setTimeout, or a timeout a millisecond
  // early and a busy wait for the rest, as the page does. Each step also shows a line, as a drop step does,
  // and notes the animation frame that first shows it.
  '/bench/timers.html': `<!doctype html><html lang="en"><title>timers</title><body><p id="step">0</p><script>
    window.run = (n, spin) => new Promise((done) => {
      const late = [], shown = [], frames = [];
      const frame = (t) => { frames.push([t, performance.now()]); if (late.length < n) requestAnimationFrame(frame); };
      requestAnimationFrame(frame);
      let due = Math.ceil(performance.now()) + 50;
      const fire = () => {
        if (spin) while (performance.now() < due) {}
        const now = performance.now();
        late.push(now - due);
        document.getElementById('step').textContent = late.length;
        const step = { due, at: now, presentedAt: null };
        shown.push(step);
        requestAnimationFrame((t) => { step.presentedAt = t; });
        if (late.length < n) { due += 50; arm(); } else setTimeout(() => done({ late, shown, frames }), 100);
      };
      const arm = () => setTimeout(fire, Math.max(0, due - performance.now() - (spin ? 1 : 0)));
      arm();
    });</script></body></html>`,
  // A bare button: how long a press takes from its stamp to the listener.
  '/bench/button.html': `<!doctype html><html lang="en"><title>button</title><body style="margin:0">
    <button id="b" style="position:absolute;left:100px;top:100px;width:200px;height:60px">ZIB!</button><script>
    window.presses = [];
    document.getElementById('b').addEventListener('pointerdown', (e) =>
      window.presses.push({ stamp: e.timeStamp, handled: performance.now() }));
    </script></body></html>`,
};

// Animation frames for the drop steps: each step's delay to the frame that shows it, and whether that frame
// is the first to begin its callbacks after the step's moment. `frames`: [frame time, callbacks' time].
function framing(steps, frames) {
  const delays = [], first = [];
  for (const s of steps) {
    if (s.presentedAt == null) continue;
    const earliest = frames.find(([, ran]) => ran >= s.due);
    delays.push(s.presentedAt - s.due);
    first.push(earliest ? s.presentedAt <= earliest[0] + 0.01 : true);
  }
  return { delays, first: first.filter(Boolean).length, of: first.length };
}

async function folderSize(dir) {
  const sizes = [];
  const walk = async (d) => {
    for (const e of await readdir(d, { withFileTypes: true })) {
      const path = join(d, e.name);
      if (e.isDirectory()) await walk(path);
      else sizes.push({ file: relative(dir, path), raw: (await stat(path)).size, gz: gzipSync(await readFile(path), { level: 9 }).length });
    }
  };
  await walk(dir);
  return sizes;
}

const server = await serve(webDir, bare);
const browser = await launch();
try {
  const kb = (bytes) => (bytes / 1024).toFixed(1) + ' KB';

  // 6. The folder, each file gzipped as a server would send it.
  const sizes = await folderSize(webDir);
  const sum = (pick) => sizes.filter(pick).reduce((a, s) => a + s.gz, 0);
  for (const s of sizes) note(`${s.file}: ${kb(s.raw)}, gzipped ${kb(s.gz)}`);
  figure('folder size, gzipped', kb(sum(() => true)),
         `the program (zib.js + zib.wasm) ${kb(sum((s) => /^zib\.(js|wasm)$/.test(s.file)))}, fonts ${kb(sum((s) => s.file.startsWith('fonts/')))}, ` +
         `the rest ${kb(sum((s) => !/^zib\.(js|wasm)$/.test(s.file) && !s.file.startsWith('fonts/')))}; ${kb(sizes.reduce((a, s) => a + s.raw, 0))} unzipped`,
         '<= 300 KB');

  // 5. First frame after navigation, on a fresh profile each time (nothing cached, no service worker).
  const runs = quick ? 2 : 7, game = [], blank = [];
  for (let i = 0; i < runs; ++i) {
    for (const [list, path] of [[game, ''], [blank, 'bench/blank.html']]) {
      const { context, page } = await open(browser);
      await page.addInitScript(() => {
        const look = (t) => { if (document.body?.firstElementChild) window.__first = t; else requestAnimationFrame(look); };
        requestAnimationFrame(look);
      });
      if (path) {
        await page.goto(server.url + path);
        await page.waitForFunction(() => window.__first !== undefined);
        list.push(await page.evaluate(() => window.__first));
      } else {
        await load(page, server.url);
        list.push(await page.evaluate(() => window.zib.firstFrameAt));
      }
      await context.close();
    }
    note(`first frame ${i + 1}: game ${ms(game[i])}, blank page ${ms(blank[i])}`);
  }
  const spread = (v) => `${ms(Math.min(...v))} / ${ms(median(v))} / ${ms(Math.max(...v))}`;
  figure(`first frame after navigation, min / median / max of ${runs}`, spread(game), `blank page ${spread(blank)}`,
         'median <= 300 ms');

  // The baselines of timers, frames and presses, on the bare pages.
  const { page: basePage, cdp: baseCdp } = await open(browser);
  await basePage.goto(server.url + 'bench/timers.html');
  const steps = quick ? 20 : 200;
  const plain = await basePage.evaluate((n) => window.run(n, false), steps);
  const spun = await basePage.evaluate((n) => window.run(n, true), steps);
  await basePage.goto(server.url + 'bench/button.html');
  const b = await centre(basePage, '#b');
  const pressesBare = quick ? 20 : 100;
  for (let i = 0; i < pressesBare; ++i) {
    const now = await basePage.evaluate(() => performance.timeOrigin + performance.now());
    await baseCdp.send('Input.dispatchMouseEvent', { type: 'mousePressed', x: b.x, y: b.y, button: 'left', clickCount: 1, timestamp: now / 1000 });
    await baseCdp.send('Input.dispatchMouseEvent', { type: 'mouseReleased', x: b.x, y: b.y, button: 'left', clickCount: 1, timestamp: now / 1000 });
    await new Promise((done) => setTimeout(done, 20));
  }
  const bareLags = (await basePage.evaluate(() => window.presses)).map((p) => p.handled - p.stamp);

  // The game: Very Hard duels, each with a press stamped at an offset from the opponent's moment, then Stop.
  const { page, cdp } = await open(browser, { viewport: { width: 1024, height: 768 } });
  await page.addInitScript(() => {
    window.__frames = [];
    const frame = (t) => { window.__frames.push([t, performance.now()]); requestAnimationFrame(frame); };
    requestAnimationFrame(frame);
  });
  await load(page, server.url);
  await pick(page, 'mnuVH');
  await untilRuntime(page, handBack + 50);
  const stamps = await stamper(page, cdp);
  const [startAt, zibAt, stopAt] = [await centre(page, button('cbStart')), await centre(page, button('Zib')),
                                    await centre(page, button('cbStop'))];
  const offsets = [-5, -2, -1, 1, 2, 5], each = quick ? 2 : 12, race = [];
  const holds = [];
  for (let i = 0; i < each; ++i)
    for (const offset of offsets) {
      await until(page, 'cbStart');
      const started = Math.floor(stamps.now()) + 20;
      await stamps.press(startAt.x, startAt.y, started + 0.5);
      await until(page, 'cbStop Zib').catch(async (e) => { throw new Error(`${e.message}\n${await story(page, started - 2000)}`); });
      holds.push(await page.evaluate(() => window.zib.hold));
      const opponent = started + draw + levels.mnuVH;
      await stamps.press(zibAt.x, zibAt.y, opponent + offset + 0.5);
      await page.waitForFunction((o) => window.zib.log.some((e) => e.moment === o && e.shown.includes('ziboppo')), opponent);
      const { press, won } = await page.evaluate(([from, o]) => {
        const log = window.zib.log.filter((e) => e.moment >= from);
        return { press: log.find((e) => e.target === 'Zib'), won: log.some((e) => e.moment <= o && e.shown.includes('zibyou')) };
      }, [started, opponent]);
      const due = stamps.epoch + opponent;
      race.push({ offset, right: won === offset < 0, atHandling: press ? (press.handled < due) === offset < 0 : false,
                  lag: press ? press.handled - press.stamp : NaN });
      note(`race ${offset > 0 ? '+' : ''}${offset} ms: ${won ? 'won' : 'lost'}, press handled ${ms(press?.handled - press?.stamp)} after its stamp`);
      await stamps.press(stopAt.x, stopAt.y, Math.floor(stamps.now()) + 0.5);
    }
  await until(page, 'cbStart');
  const log = await page.evaluate(() => window.zib.log);
  const frames = await page.evaluate(() => window.__frames);

  // 1. Timer lateness: the page's timer waking on its millisecond, before any hold.
  const timers = log.filter((e) => e.event === 'timer' && e.woke != null);
  const woke = timers.map((e) => e.woke - e.due);
  const delivered = timers.map((e) => e.at - e.due);
  figure(`timer lateness p99, idle (${woke.length} timers; median ${ms(median(woke))}, earliest ${ms(Math.min(...woke))})`, ms(percentile(woke, 99)),
         `setTimeout with a busy wait ${ms(percentile(spun.late, 99))} (median ${ms(median(spun.late))}); plain setTimeout ${ms(percentile(plain.late, 99))} (median ${ms(median(plain.late))}, earliest ${ms(Math.min(...plain.late))})`,
         '<= 1 ms');
  figure('timer event delivered after its moment, hold included, median / p99', `${ms(median(delivered))} / ${ms(percentile(delivered, 99))}`,
         `the hold: ${ms(Math.min(...holds))} to ${ms(Math.max(...holds))} in the draw, at most 8 ms`, 'reported');

  // 2. A press's stamp to its handler.
  const lags = log.filter((e) => e.event === 'input' && e.stamp != null).map((e) => e.handled - e.stamp);
  figure(`press stamp to its handler, median / p99 (${lags.length} presses)`, `${ms(median(lags))} / ${ms(percentile(lags, 99))}`,
         `bare button ${ms(median(bareLags))} / ${ms(percentile(bareLags, 99))}`, 'reported');

  // 3. Drop steps to the frame that shows them.
  const dropSteps = log.filter((e) => e.event === 'timer' && e.shown.some((n) => /^p\d1$/.test(n)));
  const game3 = framing(dropSteps.map((e) => ({ due: e.due, presentedAt: e.presentedAt })), frames);
  const bare3 = framing(spun.shown, spun.frames);
  figure(`drop step shown in the first frame after its moment (${game3.of} steps)`,
         `${pct(game3.first, game3.of)}, moment to frame median ${ms(median(game3.delays))}, p99 ${ms(percentile(game3.delays, 99))}`,
         `bare page ${pct(bare3.first, bare3.of)}, median ${ms(median(bare3.delays))}, p99 ${ms(percentile(bare3.delays, 99))}`, '100 %');

  // 4. The race judged right, by offset.
  const by = (d) => race.filter((r) => Math.abs(r.offset) === d);
  figure(`race judged right, ${each * 2} stamped presses per offset`,
         [1, 2, 5].map((d) => `±${d} ms ${pct(by(d).filter((r) => r.right).length, by(d).length)}`).join(', '),
         'judged at handling ' + [1, 2, 5].map((d) => `±${d} ms ${pct(by(d).filter((r) => r.atHandling).length, by(d).length)}`).join(', '),
         '100 %, ±1 ms included');
} finally {
  await browser.close();
  await server.stop();
}
