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
// - Idle, then busy (four processes spinning at nice 0 on this machine's
//   cores), over Very Hard duels with presses stamped through the DevTools
//   protocol at -5, -2, -1, +1, +2 and +5 ms from the opponent's moment, each
//   reaching the page 0 to 150 ms after its stamp, as input held up on its
//   way would, read off the page's log (the one the tests read):
//   - timer events after their moment, against a bare page that wakes as the
//     page does (a timeout a millisecond early, then a busy wait);
//   - the opponent's ZIB! on the page after its moment, and in which frame;
//   - each drop step to the animation frame that shows it, and whether that
//     is the first frame to begin after its moment;
//   - the race judged right (against judging each press when it reached the
//     page);
//   - how many duels the runtime went back in for a late press, and what
//     handling such a press costs beside one that came in time, timed around
//     the page's call into the program (on a page isolated from other
//     origins, where the clock reads to a few microseconds).
//
//   node bench/web/figures.mjs [--quick] [--verbose]   (ZIB_WEB_DIR: the built folder)
import { spawn } from 'node:child_process';
import { cpus, loadavg } from 'node:os';
import { readdir, readFile, stat } from 'node:fs/promises';
import { join, relative } from 'node:path';
import { gzipSync } from 'node:zlib';
import { serve, launch, open, load, untilReady, stamper, centre, webDir } from '../../tests/web/harness.mjs';
import { button, draw, handBack, levels, pick, story, until, untilRuntime } from '../../tests/web/game.mjs';

// Nearest-rank percentile, p in (0, 100]: the smallest value that at least p per cent of the values do not
// exceed; and the median.
function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.min(sorted.length, Math.max(1, Math.ceil((p / 100) * sorted.length))) - 1] : NaN;
}
function median(values) {
  const s = [...values].sort((a, b) => a - b), n = s.length;
  return n === 0 ? NaN : n % 2 ? s[(n - 1) / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

const quick = process.argv.includes('--quick'), verbose = process.argv.includes('--verbose');
const note = (...text) => { if (verbose) console.error('  ' + text.join(' ')); };
const ms = (v) => (Number.isFinite(v) ? v.toFixed(3) : 'n/a') + ' ms';
const us = (v) => (Number.isFinite(v) ? (v * 1000).toFixed(0) : 'n/a') + ' µs';
const pct = (right, all) => all ? `${Math.round((100 * right) / all)} %` : 'n/a';
const figure = (name, value, baseline, target) => console.log(`web ${name}: ${value}  [baseline ${baseline}; target ${target}]`);
const spread = (v) => `median ${ms(median(v))}, p99 ${ms(percentile(v, 99))}`;

// Pages for the baselines: the browser's own means, nothing of the game.
const bare = {
  // A blank page with a line of text: its first frame.
  '/bench/blank.html': '<!doctype html><html lang="en"><title>blank</title><p>Zib!</p></html>',
  // Timers on whole milliseconds, 50 ms apart as the drop steps, woken as the page wakes for its own: a
  // timeout a millisecond early and a busy wait for the rest. Each step also shows a line, as a drop step does, and
  // notes the animation frame that first shows it.
  '/bench/timers.html': `<!doctype html><html lang="en"><title>timers</title><body><p id="step">0</p><script>
    window.run = (n) => new Promise((done) => {
      const late = [], shown = [], frames = [];
      const frame = (t) => { frames.push([t, performance.now()]); if (late.length < n) requestAnimationFrame(frame); };
      requestAnimationFrame(frame);
      let due = Math.ceil(performance.now()) + 50;
      const fire = () => {
        while (performance.now() < due) {}
        const now = performance.now();
        late.push(now - due);
        document.getElementById('step').textContent = late.length;
        const step = { due, at: now, presentedAt: null };
        shown.push(step);
        requestAnimationFrame((t) => { step.presentedAt = t; });
        if (late.length < n) { due += 50; arm(); } else setTimeout(() => done({ late, shown, frames }), 100);
      };
      const arm = () => setTimeout(fire, Math.max(0, due - performance.now() - 1));
      arm();
    });</script></body></html>`,
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

// Four processes that spin at nice 0 until stopped: a busy machine.
function hogs() {
  const spun = Array.from({ length: 4 }, () => spawn(process.execPath, ['-e', 'for (;;) {}'], { stdio: 'ignore' }));
  return () => { for (const p of spun) p.kill('SIGKILL'); };
}

// The timers, frames, race and rewinds, idle or busy, each beside its baseline; the machine's load before
// and after, as other programs on it bear on every figure.
async function duels(browser, server, mode) {
  const machineLoad = () => loadavg()[0].toFixed(2);
  const loadBefore = machineLoad();
  // The baseline: a bare page's timers.
  const { context: baseContext, page: basePage } = await open(browser);
  await basePage.goto(server.url + 'bench/timers.html');
  const spun = await basePage.evaluate((n) => window.run(n), quick ? 20 : 200);
  await baseContext.close();

  // The game: Very Hard duels, each with a press stamped at an offset from the opponent's moment, then Stop.
  const { context, page, cdp } = await open(browser, { viewport: { width: 1024, height: 768 } });
  await page.evaluateOnNewDocument(() => {
    window.__frames = [];
    const frame = (t) => { window.__frames.push([t, performance.now()]); requestAnimationFrame(frame); };
    requestAnimationFrame(frame);
  });
  await load(page, server.url);
  // Each input's handling, timed around the page's call into the program, and whether the runtime went back.
  // (em++'s export binds itself on its first call, by assigning itself again: that assignment is kept aside.)
  await page.evaluate(() => {
    let input = Module._zib_input;
    window.__inputs = [];
    const timed = (...args) => {
      const before = window.zib.rewinds(), t0 = performance.now();
      input(...args);
      window.__inputs.push({ index: args[2], took: performance.now() - t0, rewound: window.zib.rewinds() > before });
    };
    Object.defineProperty(Module, '_zib_input', { get: () => timed, set: (bound) => { input = bound; } });
  });
  await pick(page, 'mnuVH');
  await untilRuntime(page, handBack + 50);
  const stamps = await stamper(page, cdp);
  const [startAt, zibAt, stopAt] = [await centre(page, button('cbStart')), await centre(page, button('Zib')),
                                    await centre(page, button('cbStop'))];
  const offsets = [-5, -2, -1, 1, 2, 5], each = quick ? 2 : 12, race = [], duelsPlayed = [];
  for (let i = 0; i < each; ++i)
    for (const offset of offsets) {
      const late = Math.round((i * 150) / Math.max(1, each - 1));
      await until(page, 'cbStart');
      const started = Math.floor(stamps.now()) + 20, rewinds = await page.evaluate(() => window.zib.rewinds());
      // The page is left alone from Start until the duel is decided: nothing polls it meanwhile.
      await stamps.press(startAt.x, startAt.y, started + 0.5);
      const opponent = started + draw + levels.mnuVH;
      const sent = stamps.pageTime(await stamps.press(zibAt.x, zibAt.y, opponent + offset + 0.5, { late }));
      await stamps.until(opponent + 250);
      const { won, shown } = await page.evaluate(([from, o]) => ({
        won: window.zib.log.some((e) => e.moment >= from && e.shown.includes('zibyou')),
        shown: window.zib.log.some((e) => e.moment >= o && e.shown.includes('ziboppo')) }), [started, opponent]);
      if (!shown) throw new Error(`no opponent's ZIB! in the duel\n${await story(page, started - 2000)}`);
      const due = stamps.epoch + opponent;
      const went = (await page.evaluate(() => window.zib.rewinds())) - rewinds;
      race.push({ offset, right: won === offset < 0, atArrival: (sent < due) === offset < 0 });
      duelsPlayed.push({ started, opponent, rewinds: went });
      const opponentLate = await page.evaluate((o) => {
        const e = window.zib.log.find((e) => e.moment === o);
        return e ? e.at - window.zib.epoch - o : NaN;
      }, opponent);
      note(`${mode}: ${offset > 0 ? '+' : ''}${offset} ms, ${late} ms late: ${won ? 'won' : 'lost'}, ${went} rewinds, ` +
           `the opponent's ZIB! ${ms(opponentLate)} after its moment`);
      await stamps.press(stopAt.x, stopAt.y, Math.floor(stamps.now()) + 0.5);
    }
  await until(page, 'cbStart');
  const { log, frames, inputs } = await page.evaluate(() => ({ log: window.zib.log, frames: window.__frames, inputs: window.__inputs }));
  const isolated = await page.evaluate(() => crossOriginIsolated);
  const zibIndex = await page.evaluate(() => document.querySelector('button[data-control="Zib"]').zibTarget.index);
  await context.close();

  // Timer events: the drop steps and the opponent, found in the log by their moments.
  const epoch = stamps.epoch;
  const entry = (moment) => log.find((e) => e.moment === moment);
  const steps = [], opponents = [];
  for (const d of duelsPlayed) {
    for (let k = 1; k <= 10; ++k) {
      const e = entry(d.started + (draw / 10) * k);
      if (e) steps.push({ due: epoch + e.moment, at: e.at, presentedAt: e.presentedAt });
    }
    const e = entry(d.opponent);
    if (e && e.shown.includes('ziboppo')) opponents.push({ due: epoch + e.moment, at: e.at, presentedAt: e.presentedAt });
  }
  const timers = [...steps, ...opponents].map((t) => t.at - t.due);
  figure(`${mode}: timer events after their moment (${timers.length}), median / p99`, `${ms(median(timers))} / ${ms(percentile(timers, 99))}`,
         `bare page waking the same way ${ms(median(spun.late))} / ${ms(percentile(spun.late, 99))} (${spun.late.length})`,
         'median <= 1 ms, p99 <= baseline + 0.5 ms');
  const shown = opponents.map((o) => o.at - o.due), framed = opponents.filter((o) => o.presentedAt != null).map((o) => o.presentedAt - o.due);
  figure(`${mode}: the opponent's ZIB! on the page after its moment (${shown.length})`,
         `${spread(shown)}, ${shown.filter((v) => v > 2).length} over 2 ms`,
         `its frame begins ${spread(framed)} after the moment`, 'p99 <= 2 ms');
  const game = framing(steps, frames), base = framing(spun.shown, spun.frames);
  figure(`${mode}: drop steps shown in the first frame after their moment`,
         `${game.first} of ${game.of}, moment to frame ${spread(game.delays)}`,
         `bare page ${base.first} of ${base.of}, ${spread(base.delays)}`, 'all');

  const by = (d) => race.filter((r) => Math.abs(r.offset) === d);
  figure(`${mode}: race judged right, ${each * 2} presses per offset reaching the page 0-150 ms after their stamps`,
         [1, 2, 5].map((d) => `±${d} ms ${by(d).filter((r) => r.right).length}/${by(d).length}`).join(', '),
         'judged on arrival ' + [1, 2, 5].map((d) => `±${d} ms ${by(d).filter((r) => r.atArrival).length}/${by(d).length}`).join(', '),
         'all, ±1 ms included');

  console.log(`# web ${mode}: load average ${loadBefore} before, ${machineLoad()} after, on ${cpus().length} cores`);
  const presses = inputs.filter((i) => i.index === zibIndex);
  const rewound = presses.filter((i) => i.rewound).map((i) => i.took), onTime = presses.filter((i) => !i.rewound).map((i) => i.took);
  figure(`${mode}: duels the runtime went back in`, `${duelsPlayed.filter((d) => d.rewinds > 0).length} of ${duelsPlayed.length}, ` +
         `${duelsPlayed.reduce((a, d) => a + d.rewinds, 0)} rewinds`, 'presses 0-150 ms late, so most should', 'reported');
  figure(`${mode}: handling a press that rewinds, median / p99 (${rewound.length})${isolated ? '' : ' (clock coarse: page not isolated)'}`,
         `${us(median(rewound))} / ${us(percentile(rewound, 99))}`,
         `a press of ZIB! in time ${us(median(onTime))} / ${us(percentile(onTime, 99))} (${onTime.length})`, 'reported');
}

const server = await serve(webDir, bare, { isolated: true });
const browser = await launch();
try {
  const kb = (bytes) => (bytes / 1024).toFixed(1) + ' KB';

  // The folder, each file gzipped as a server would send it.
  const sizes = await folderSize(webDir);
  const sum = (pick) => sizes.filter(pick).reduce((a, s) => a + s.gz, 0);
  for (const s of sizes) note(`${s.file}: ${kb(s.raw)}, gzipped ${kb(s.gz)}`);
  figure('folder size, gzipped', kb(sum(() => true)),
         `the program (zib.js + zib.wasm) ${kb(sum((s) => /^zib\.(js|wasm)$/.test(s.file)))}, fonts ${kb(sum((s) => s.file.startsWith('fonts/')))}, ` +
         `the rest ${kb(sum((s) => !/^zib\.(js|wasm)$/.test(s.file) && !s.file.startsWith('fonts/')))}; ${kb(sizes.reduce((a, s) => a + s.raw, 0))} unzipped`,
         '<= 300 KB');

  // First frame after navigation, on a fresh profile each time (nothing cached, no service worker): the first
  // animation frame that shows the pencil (the page's own frame or the game's), and the blank page's first
  // frame with content; and when the game has taken over.
  const runs = quick ? 2 : 10, game = [], blank = [], ready = [];
  for (let i = 0; i < runs; ++i) {
    for (const [list, path] of [[game, ''], [blank, 'bench/blank.html']]) {
      const { context, page } = await open(browser);
      await page.evaluateOnNewDocument(() => {
        const shown = () => path ? document.body?.firstElementChild
          : [...document.querySelectorAll('[data-client] svg')].some((e) => e.checkVisibility());
        const path = location.pathname !== '/';
        const look = (t) => { if (shown()) window.__first = t; else requestAnimationFrame(look); };
        requestAnimationFrame(look);
      });
      await page.goto(server.url + path);
      await page.waitForFunction(() => window.__first !== undefined);
      list.push(await page.evaluate(() => window.__first));
      if (!path) {
        await untilReady(page);
        ready.push(await page.evaluate(() => window.zib.firstFrameAt));
      }
      await context.close();
    }
    note(`first frame ${i + 1}: game ${ms(game[i])} (taken over ${ms(ready[i])}), blank page ${ms(blank[i])}`);
  }
  const range = (v) => `${ms(Math.min(...v))} / ${ms(median(v))} / ${ms(Math.max(...v))}`;
  figure(`first frame showing the pencil after navigation, min / median / max of ${runs}`, range(game),
         `blank page ${range(blank)}; game / blank page medians ${(median(game) / median(blank)).toFixed(2)}`,
         'median <= 1.5 x the blank page\'s');
  figure(`the game's own first frame after navigation, min / median / max of ${runs}`, range(ready),
         `blank page ${range(blank)}`, 'median <= 300 ms');

  await duels(browser, server, 'idle');
  const stopHogs = hogs();
  try {
    await duels(browser, server, 'busy');
  } finally {
    stopHogs();
  }
} finally {
  await browser.close();
  await server.stop();
}
