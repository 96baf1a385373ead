// SPDX-License-Identifier: MIT
// What the browser tests and the web figures share: the built folder served on
// 127.0.0.1, the machine's own browser started headless on a profile of its
// own, a page in it with every error it meets noted, presses stamped at a
// chosen moment, and screenshots read as pixels. The page is driven through
// puppeteer's own calls, which webdriver.mjs gives WebKit too.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { before, after, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import puppeteer from 'puppeteer-core';
import { launchWebKit, pressAt } from './webdriver.mjs';

// The built folder: the page, its script, the wasm, fonts, bitmaps, manifest, service worker and icons.
export const webDir = resolve(process.env.ZIB_WEB_DIR ?? 'web');

const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.txt': 'text/plain',
                '.wasm': 'application/wasm', '.webmanifest': 'application/manifest+json', '.png': 'image/png',
                '.svg': 'image/svg+xml', '.woff2': 'font/woff2' };

// Serves `dir` as any static web server would, on a free port of 127.0.0.1, and `pages` (path to HTML) beside
// it. `stop()` closes the server and every connection to it, as a server gone away would. `isolated`: with the
// headers that isolate a page from other origins, where the browser's clock reads to a few microseconds.
// `plain`: as a plain static server serves files, with their Last-Modified times and no Cache-Control, which
// lets the browser keep them for a while.
export async function serve(dir = webDir, pages = {}, { isolated = false, plain = false } = {}) {
  const extra = isolated ? { 'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp' } : {};
  const server = createServer(async (req, res) => {
    const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    let file = normalize(join(dir, path)), body = pages[path], modified = new Date();
    try {
      if (body === undefined) {
        if (!file.startsWith(dir + sep) && file !== dir) throw new Error('outside');
        if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
        [body, modified] = [await readFile(file), (await stat(file)).mtime];
      }
      res.writeHead(200, { ...extra, 'Content-Type': types[extname(file)] ?? types['.html'],
                           ...(plain ? { 'Last-Modified': modified.toUTCString() } : { 'Cache-Control': 'no-cache' }) });
      res.end(req.method === 'HEAD' ? undefined : body);
    } catch {
      res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found');
    }
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    stop: () => new Promise((done) => { server.close(done); server.closeAllConnections(); }),
  };
}

// The browser the tests run in, as the suite names it: `chromium` (Debian's, over the DevTools protocol),
// `firefox` (Debian's Firefox ESR, over WebDriver BiDi) or `webkit` (WebKitGTK over classic WebDriver: see
// webdriver.mjs). Each is kept off the network it cannot reach: only the page's own server is used.
export const browserName = process.env.ZIB_BROWSER ?? 'chromium';
const browsers = {
  chromium: {
    browser: 'chrome', executablePath: process.env.ZIB_CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-quic', '--disable-features=Translate,MediaRouter',
           // Whole tiles redrawn, never parts of them, so that the same page drawn twice gives the same pixels.
           '--disable-partial-raster'],
  },
  firefox: {
    browser: 'firefox', protocol: 'webDriverBiDi', executablePath: process.env.ZIB_FIREFOX ?? '/usr/bin/firefox-esr',
    extraPrefsFirefox: { 'network.captive-portal-service.enabled': false, 'app.update.enabled': false,
                         'browser.safebrowsing.update.enabled': false, 'dom.serviceWorkers.testing.enabled': true,
                         // A touch screen, as a phone's.
                         'dom.w3c_touch_events.enabled': 1 },
  },
};
export function launch(name = browserName) {
  if (name === 'webkit') return launchWebKit({ driver: process.env.ZIB_WEBKIT_DRIVER });
  return puppeteer.launch({ headless: true, defaultViewport: null, ...browsers[name] });
}

// A page in a browsing context of its own, with every error it meets collected: console errors, uncaught
// exceptions (each browser reports a breach of the page's content security policy as one or the other),
// requests that failed or were answered with an error (a missing icon counts). `viewport` {width, height}, 800
// x 600 unless told, and puppeteer's `deviceScaleFactor`, `hasTouch` and `isMobile`.
export async function open(browser, { viewport, ...emulation } = {}) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 800, height: 600, ...viewport, ...emulation });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`exception: ${e.message}`));
  // A navigation given up because the test went on is not the page's fault.
  page.on('requestfailed', (r) => {
    if (!/ERR_ABORTED|NS_BINDING_ABORTED/.test(r.failure()?.errorText)) errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`);
  });
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  const cdp = browserName === 'chromium' ? await page.createCDPSession() : null;
  return { context, page, cdp, errors };
}

// What the tests of one file share: the folder served (by `server`, else `serve`), a browser, and a page in it
// (`open`'s options), loaded unless `loaded` is false; set up before the first test and put away after the
// last. After each test, the page must have met no error. Returns the object that then holds `server`,
// `browser`, `page`, `cdp`, `errors` and `context`.
export function session(options = {}, { loaded = true, server = serve } = {}) {
  const s = {};
  before(async () => {
    [s.server, s.browser] = await Promise.all([server(), launch()]);
    Object.assign(s, await open(s.browser, options));
    if (loaded) await load(s.page, s.server.url);
  });
  afterEach(() => assert.deepEqual(s.errors.splice(0), [], 'errors the page met'));
  after(async () => {
    await s.browser?.close();
    await s.server?.stop();
  });
  return s;
}

// Loads the page and waits for the duel window's first frame.
export const load = (page, url) => page.goto(url, { waitUntil: 'load' }).then(() => untilReady(page));

// What each protocol says of a page gone, to another load of it, while something was asked of it.
export const reloaded = /context was destroyed|navigation|detached|no such frame|realm/i;

// Waits for the duel window's first frame, through a reload if the page makes one (a page whose game has
// ended is on its way out).
export async function untilReady(page, timeout = 20000) {
  for (const end = Date.now() + timeout; ;) {
    try {
      return await page.waitForFunction(() => window.zib?.ready === true && !window.zib.ended,
                                        { timeout: Math.max(1, end - Date.now()), polling: 'raf' });
    } catch (e) {
      if (Date.now() >= end || !reloaded.test(e.message)) throw e;
    }
  }
}

// A key, or a chord such as "Control+Space": the modifiers held down around it. (BiDi names the space bar by
// the character it types.)
export async function press(page, chord) {
  const keys = chord.split('+'), key = keys.pop().replace(/^Space$/, browserName === 'firefox' ? ' ' : 'Space');
  for (const k of keys) await page.keyboard.down(k);
  await page.keyboard.press(key);
  for (const k of keys.reverse()) await page.keyboard.up(k);
}

// An element's box in page pixels, and its centre.
export const box = (page, selector) => page.evaluate((s) => document.querySelector(s).getBoundingClientRect().toJSON(), selector);
export const centre = (page, selector) => box(page, selector).then((b) => ({ x: b.x + b.width / 2, y: b.y + b.height / 2 }));

// A finger's touch on an element's centre, or (dx, dy) from it. (Firefox takes a touch only as one whole
// action sequence.)
export async function tap(page, selector, dx = 0, dy = 0) {
  const { x, y } = await centre(page, selector);
  if (browserName !== 'firefox') return page.touchscreen.tap(x + dx, y + dy);
  await page.mainFrame().browsingContext.performActions([pressAt('touch', x + dx, y + dy)]);
}

// The page's runtime clock, and presses made at a chosen moment on it. Over the DevTools protocol (Chromium),
// `Input.dispatchMouseEvent` takes its stamp in seconds since 1970, and the page sees it as `event.timeStamp`,
// ms since its `performance.timeOrigin`, which is on the same wall clock as ours: a press is stamped at a
// chosen runtime millisecond, and may reach the page later than that. The other protocols have no such
// stamp: the press is made at the moment and the browser stamps it when it takes it. Either way the page's
// own record of the press's `timeStamp` (`stamp()`) is what a test judges the outcome by.
export async function stamper(page, cdp) {
  const { epoch, origin } = await page.evaluate(() => {
    window.__stamps = [];
    addEventListener('pointerdown', (e) => window.__stamps.push(e.timeStamp), true);
    return { epoch: window.zib.epoch, origin: performance.timeOrigin };
  });
  const wall = () => performance.timeOrigin + performance.now(), toWall = (runtimeMs) => origin + epoch + runtimeMs;
  return {
    epoch,
    // Waits until the runtime millisecond `at` (a fraction into it) has passed here too, and `late` ms more,
    // then presses (and releases) the mouse at (x, y) of the page, stamped at that instant where the protocol
    // can: as input held up on its way for `late` ms would reach the page. Resolves to the wall-clock time it
    // was sent.
    async press(x, y, at, { late = 0 } = {}) {
      await untilWall(toWall(at) + (cdp ? late : 0) + 0.05);
      const sent = wall(), base = { x, y, button: 'left', clickCount: 1, timestamp: toWall(at) / 1000 };
      if (cdp) {
        await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mousePressed' });
        await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mouseReleased' });
      } else {
        await page.mouse.click(x, y);
      }
      return sent;
    },
    // The runtime time of the last press, from the `timeStamp` the page saw on its `pointerdown`.
    stamp: () => page.evaluate(() => window.__stamps.at(-1) - window.zib.epoch),
    // A wall-clock time as the page clock reads it.
    pageTime: (wall) => wall - origin,
    // The runtime time the page is at now, as read from here; and waits until the page's runtime reaches `at`.
    now: () => wall() - origin - epoch,
    until: (at) => untilWall(toWall(at)),
  };
}

// Waits until the wall clock passes `when` (ms since 1970): a timer a millisecond past it, as node's may fire a
// fraction early, then a spin for whatever is left. (No spin for long: this machine has few cores to share
// with the browser.)
export async function untilWall(when) {
  const now = () => performance.timeOrigin + performance.now();
  if (when > now()) await new Promise((done) => setTimeout(done, when - now() + 1));
  while (now() < when) { /* what is left */ }
}

// A screenshot of the page as pixels, once two frames have begun since its latest change: width, height,
// `at(x, y)` as 0xRRGGBB, `extent`, and `same(other)`. The page's own browser decodes the PNG, handed back as
// bytes of red, green, blue and alpha.
export async function pixels(page) {
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  const png = Buffer.from(await page.screenshot({ type: 'png' })).toString('base64');
  const [width, height, rgba] = await page.evaluate(async (png) => {
    const image = await createImageBitmap(new Blob([Uint8Array.from(atob(png), (c) => c.charCodeAt(0))]));
    const canvas = new OffscreenCanvas(image.width, image.height).getContext('2d');
    canvas.drawImage(image, 0, 0);
    const data = canvas.getImageData(0, 0, image.width, image.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 8192) text += String.fromCharCode(...data.subarray(i, i + 8192));
    return [image.width, image.height, btoa(text)];
  }, png);
  const out = Buffer.from(rgba, 'base64'), at = (x, y) => out.readUIntBE((y * width + x) * 4, 3);
  // The smallest rectangle [left, top, right, bottom] (inclusive) of pixels in `region` that match.
  const extent = (match, [x0, y0, w, h] = [0, 0, width, height]) => {
    let e = null;
    for (let y = Math.max(0, y0); y < Math.min(height, y0 + h); ++y)
      for (let x = Math.max(0, x0); x < Math.min(width, x0 + w); ++x)
        if (match(at(x, y), x, y)) e = e ? [Math.min(e[0], x), Math.min(e[1], y), Math.max(e[2], x), Math.max(e[3], y)] : [x, y, x, y];
    return e;
  };
  return { width, height, at, extent, same: (other) => out.equals(other.rgba), rgba: out };
}

// Colours as the desktop render test reads them.
export const is = (want, yes = true) => (c) => (c === want) === yes;
export const dark = (c) => {
  const rgb = [c >> 16, (c >> 8) & 0xff, c & 0xff];
  return (Math.max(...rgb) + Math.min(...rgb)) / 2 < 80;
};
