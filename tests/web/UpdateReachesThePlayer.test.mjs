// SPDX-License-Identifier: MIT
// A returning player gets a new build whole: served by Python's plain static
// server (Last-Modified, no Cache-Control), the old build's files an hour old
// so that the browser may keep them from its HTTP cache, the folder replaced
// by a build with a changed page and program. Each load is one build or
// the other, never a mixture; the new one runs by the second reload; one
// found mid-duel waits for idle; offline play goes on across the update; and
// the page's content security policy is never violated.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { cp, mkdtemp, readdir, readFile, rm, utimes, writeFile, appendFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, open, load, untilReady, webDir } from './harness.mjs';
import { button, handBack, pick, untilRuntime, winDuel } from './game.mjs';

const source = resolve(fileURLToPath(new URL('.', import.meta.url)), '..', '..', 'app', 'web');
const s = {};

// `python3 -m http.server` on a folder of its own, on a free port.
async function python(dir) {
  const child = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', dir],
                      { stdio: ['ignore', 'pipe', 'ignore'] });
  const port = await new Promise((done, fail) => {
    let out = '';
    child.stdout.on('data', (d) => { out += d; const m = /port (\d+)/.exec(out); if (m) done(m[1]); });
    child.on('exit', () => fail(new Error(`http.server ended: ${out}`)));
  });
  return { url: `http://127.0.0.1:${port}/`, stop: () => { child.kill(); } };
}

// Build `n` of the folder: its page (with its style sheet) and its program changed, and the worker written anew by the build's own step.
async function rebuild(dir, n) {
  const page = join(dir, 'index.html');
  await writeFile(page, (await readFile(page, 'utf8')).replace('<head>', `<head>\n<meta name="zib-build" content="${n}">`));
  await appendFile(join(dir, 'zib.js'), `\nwindow.zibBuild = '${n}';\n`);
  execFileSync('python3', [join(source, 'site.py'), dir, join(source, 'sw.js.in')]);
}

// Which build the page shows, by its page and by its program; and the worker's caches.
const build = (page) => page.evaluate(async () => ({
  page: document.querySelector('meta[name="zib-build"]')?.content ?? '1',
  program: window.zibBuild ?? '1',
  caches: (await caches.keys()).filter((k) => k.startsWith('zib-')).length,
}));

// Waits until the page, through any reload it makes of itself, is ready and shows build `want`; each build it
// is found showing meanwhile is whole, page and program alike. Says the builds seen.
async function untilBuild(page, want, timeout = 20000) {
  const end = Date.now() + timeout, seen = [];
  for (;;) {
    try {
      await untilReady(page, end - Date.now());
      const b = await build(page);
      assert.equal(b.page, b.program, `one build, page and program alike (${JSON.stringify(b)})`);
      if (seen.at(-1) !== b.page) seen.push(b.page);
      if (b.page === want) return seen;
      if (Date.now() >= end) throw new Error(`waited for build ${want}, the page showed ${seen}`);
      await page.waitForFunction((n) => document.querySelector('meta[name="zib-build"]')?.content === n, want,
                                 { timeout: end - Date.now() });
    } catch (e) {
      if (!/context was destroyed|navigation|Timeout/i.test(e.message) || Date.now() >= end) throw e;
    }
  }
}

before(async () => {
  s.dir = join(await mkdtemp(join(tmpdir(), 'zib-update-')), 'site');
  await cp(webDir, s.dir, { recursive: true });
  const hourAgo = new Date(Date.now() - 3600 * 1000);
  for (const f of await readdir(s.dir, { recursive: true, withFileTypes: true }))
    if (f.isFile()) await utimes(join(f.parentPath ?? f.path, f.name), hourAgo, hourAgo);
  [s.server, s.browser] = await Promise.all([python(s.dir), launch()]);
  Object.assign(s, await open(s.browser));
  // Every breach of the page's policy is an error the harness collects; and whether the page ever went away
  // with a duel under way.
  await s.page.addInitScript(() => {
    addEventListener('securitypolicyviolation', (e) =>
      console.error(`content security policy: ${e.violatedDirective} ${e.blockedURI}`));
    // The program compiled as it streams in, from the server and from the worker alike.
    const streamed = WebAssembly.instantiateStreaming;
    WebAssembly.instantiateStreaming = (...args) => streamed(...args).then((r) => { window.__streamed = true; return r; });
    addEventListener('pagehide', () => {
      if (document.querySelector('[data-form="frmzib"] button[data-control="cbStop"]')?.disabled === false)
        sessionStorage.setItem('zibLeftMidDuel', 'yes');
    });
  });
});

after(async () => {
  await s.browser?.close();
  s.server?.stop();
  if (s.dir) await rm(resolve(s.dir, '..'), { recursive: true, force: true });
});

test('a new build runs by the second reload, whole, waits for idle when found mid-duel, and plays offline', async () => {
  const { page, errors } = s;
  await load(page, s.server.url);
  // The policy holds: only the folder's own files and its WebAssembly, and a script put in the page is refused.
  const policy = await page.evaluate(() => document.querySelector('meta[http-equiv="Content-Security-Policy"]').content);
  assert.match(policy, /default-src 'self'; script-src 'self' 'wasm-unsafe-eval';/);
  assert.doesNotMatch(policy, /'unsafe-inline'|'unsafe-eval'|https?:|\*/);
  assert.equal(await page.evaluate(() => new Promise((done) => {
    addEventListener('securitypolicyviolation', (e) => done(e.effectiveDirective), { once: true });
    const script = document.createElement('script');
    script.textContent = 'window.breach = true';
    document.head.append(script);
  })), 'script-src-elem');
  assert.equal(errors.filter((e) => /content security policy/.test(e)).length, 1, 'the breach reported');
  errors.length = 0;
  await page.waitForFunction(() => window.zib.offline === true);
  assert.deepEqual(await untilBuild(page, '1'), ['1']);
  assert.ok(await page.evaluate(() => window.__streamed), 'the program streamed in from the server');

  // The page lets a new build in at its first idle moment once the new worker holds all of it: by the second
  // reload it runs.
  await rebuild(s.dir, 2);
  await page.reload();
  const first = await untilBuild(page, '1');
  await page.reload();
  const second = await untilBuild(page, '2');
  assert.deepEqual(await page.evaluate(async () => (await caches.keys()).filter((k) => k.startsWith('zib-')).length), 1,
                   `the old cache dropped; builds seen: ${first}, then ${second}`);

  // Found in the middle of a duel, a build waits for the duel to be over. (Tried again with a newer build should
  // the machine be so slow that the worker is complete only once the duel is over.)
  let n = 2, midDuel = false;
  for (let tries = 0; tries < 3 && !midDuel; ++tries) {
    await untilRuntime(page, handBack + 50);
    await pick(page, 'mnuVE');
    await page.click(button('cbStart'));
    await page.waitForFunction(() => document.querySelector('[data-form="frmzib"] button[data-control="cbStop"]').disabled === false);
    await rebuild(s.dir, ++n);
    midDuel = await page.evaluate(async () => {
      const r = await navigator.serviceWorker.getRegistration();
      await r.update();
      const worker = r.installing ?? r.waiting;
      if (worker && worker.state !== 'installed')
        await new Promise((done) => worker.addEventListener('statechange', () => { if (worker.state !== 'installing') done(); }));
      return document.querySelector('[data-form="frmzib"] button[data-control="cbStop"]').disabled === false;
    }).catch(() => false);
    await untilBuild(page, String(n));
  }
  assert.ok(midDuel, 'a new build found with the duel under way');
  assert.equal(await page.evaluate(() => sessionStorage.getItem('zibLeftMidDuel')), null, 'never reloaded mid-duel');
  const last = String(n);

  // With the server gone, the new build loads and plays.
  s.server.stop();
  await page.reload();
  await untilBuild(page, last);
  assert.ok(await page.evaluate(() => navigator.serviceWorker.controller !== null), 'the page served by its worker');
  await untilRuntime(page, handBack + 50);
  await pick(page, 'mnuE');
  await winDuel(page, () => page.click(button('cbStart')), () => page.click(button('Zib')));
  assert.ok(await page.evaluate(() => window.__streamed), 'the program streamed in from the worker');
  assert.deepEqual(errors, []);
});
