// SPDX-License-Identifier: MIT
// What the browser tests and the web figures share: the built folder served on
// 127.0.0.1, Debian's Chromium started headless on a profile of its own, every
// error the page meets noted, presses stamped at a chosen moment through the
// DevTools protocol, and screenshots read as pixels.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { before, after } from 'node:test';
import { inflateSync } from 'node:zlib';
import { chromium } from 'playwright-core';

// The built folder: the page, its script, the wasm, fonts, bitmaps, manifest, service worker and icons.
export const webDir = resolve(process.env.ZIB_WEB_DIR ?? 'web');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
  '.bmp': 'image/bmp', '.ico': 'image/x-icon', '.ttf': 'font/ttf', '.otf': 'font/otf',
  '.woff': 'font/woff', '.woff2': 'font/woff2', '.txt': 'text/plain',
};

// Serves `dir` as any static web server would, on a free port of 127.0.0.1, and `pages` (path to HTML) beside
// it. `stop()` closes the server and every connection to it, as a server gone away would. `isolated`: with the
// headers that isolate a page from other origins, where the browser's clock reads to a few microseconds.
export async function serve(dir = webDir, pages = {}, { isolated = false } = {}) {
  const extra = isolated ? { 'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp' } : {};
  const server = createServer(async (req, res) => {
    for (const [name, value] of Object.entries(extra)) res.setHeader(name, value);
    const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    let file = normalize(join(dir, path));
    if (path in pages) {
      res.writeHead(200, { 'Content-Type': types['.html'], 'Cache-Control': 'no-cache' });
      res.end(pages[path]);
      return;
    }
    try {
      if (!file.startsWith(dir + sep) && file !== dir) throw new Error('outside');
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      const body = await readFile(file);
      res.writeHead(200, { 'Content-Type': types[extname(file)] ?? 'application/octet-stream',
                           'Cache-Control': 'no-cache' });
      res.end(req.method === 'HEAD' ? undefined : body);
    } catch {
      res.writeHead(404, { 'Content-Type': 'text/plain' });
      res.end('not found');
    }
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const url = `http://127.0.0.1:${server.address().port}/`;
  return {
    url,
    stop: () => new Promise((done) => { server.close(done); server.closeAllConnections(); }),
  };
}

// Chromium as the machine has it, kept off the network it cannot reach: only the page's own server is used.
export const chromiumPath = process.env.ZIB_CHROMIUM ?? '/usr/bin/chromium';
export function launch() {
  return chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-quic', '--disable-features=Translate,MediaRouter'],
  });
}

// A page in a context of its own, with every error it meets collected: console errors, uncaught exceptions,
// requests that failed or were answered with an error (a missing icon counts).
export async function open(browser, options = {}) {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 }, deviceScaleFactor: 1,
                                             ...options });
  const page = await context.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`exception: ${e.message}`));
  // What the page itself asked for and did not get; a navigation given up because the test went on is not
  // the page's fault. (The service worker's own requests count through what they answer the page.)
  page.on('requestfailed', (r) => {
    if (!/ERR_ABORTED/.test(r.failure()?.errorText ?? '')) errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`);
  });
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  const cdp = await context.newCDPSession(page);
  return { context, page, cdp, errors };
}

// What the tests of one file share: the built folder served, a browser, and a page in it (`open`'s options),
// loaded unless `loaded` is false; set up before the first test and put away after the last. Returns the
// object that then holds `server`, `browser`, `page`, `cdp`, `errors` and `context`.
export function session(options = {}, { loaded = true } = {}) {
  const s = {};
  before(async () => {
    [s.server, s.browser] = await Promise.all([serve(), launch()]);
    Object.assign(s, await open(s.browser, options));
    if (loaded) await load(s.page, s.server.url);
  });
  after(async () => {
    await s.browser?.close();
    await s.server?.stop();
  });
  return s;
}

// Loads the page and waits for the duel window's first frame.
export async function load(page, url) {
  await page.goto(url);
  await untilReady(page);
}

// Waits for the duel window's first frame, through a reload if the page makes one.
export async function untilReady(page, timeout = 20000) {
  const end = Date.now() + timeout;
  for (;;) {
    try {
      await page.waitForFunction(() => window.zib?.ready === true, null, { timeout: end - Date.now() });
      return;
    } catch (e) {
      if (Date.now() >= end || !/context was destroyed|navigation/i.test(e.message)) throw e;
    }
  }
}

// The page's runtime clock, and the protocol's stamps on it. `Input.dispatchMouseEvent` takes its stamp in
// seconds since 1970, and the page sees it as `event.timeStamp`, ms since its `performance.timeOrigin`, which
// is on the same wall clock as ours: a press can be stamped at a chosen runtime millisecond.
export async function stamper(page, cdp) {
  const { epoch, origin, there } = await page.evaluate(() => ({
    epoch: window.zib.epoch, origin: performance.timeOrigin, there: performance.timeOrigin + performance.now() }));
  const here = performance.timeOrigin + performance.now();
  if (Math.abs(here - there) > 50) throw new Error(`the page's wall clock is ${there - here} ms off ours`);
  const toWall = (runtimeMs) => origin + epoch + runtimeMs;
  return {
    epoch,
    // Waits until the runtime millisecond `at` (a fraction into it) has passed here too, and `late` ms more,
    // then presses (and releases) the mouse at (x, y) of the page, stamped at that instant: as input held up
    // on its way for `late` ms would reach the page. Resolves to the wall-clock time it was sent.
    async press(x, y, at, { release = true, late = 0 } = {}) {
      const when = toWall(at);
      await untilWall(when + late + 0.05);
      const sent = performance.timeOrigin + performance.now();
      const base = { x, y, button: 'left', clickCount: 1, timestamp: when / 1000 };
      await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mousePressed' });
      if (release) await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mouseReleased' });
      return sent;
    },
    // A wall-clock time as the page clock reads it.
    pageTime: (wall) => wall - origin,
    // The runtime time the page is at now, as read from here; and waits until the page's runtime reaches `at`.
    now: () => performance.timeOrigin + performance.now() - origin - epoch,
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

// The centre of an element, in page pixels.
export async function centre(page, selector) {
  const box = await page.locator(selector).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

// A PNG as rows of pixels: width, height and `at(x, y)` as 0xRRGGBB.
export function pixels(png) {
  let width = 0, height = 0, depth = 0, type = 0;
  const data = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at), kind = png.toString('latin1', at + 4, at + 8);
    const chunk = png.subarray(at + 8, at + 8 + length);
    if (kind === 'IHDR') [width, height, depth, type] = [chunk.readUInt32BE(0), chunk.readUInt32BE(4), chunk[8], chunk[9]];
    if (kind === 'IDAT') data.push(chunk);
    at += 12 + length;
  }
  if (depth !== 8 || (type !== 2 && type !== 6)) throw new Error(`PNG of depth ${depth}, type ${type}`);
  const bpp = type === 6 ? 4 : 3, stride = width * bpp, raw = inflateSync(Buffer.concat(data));
  const out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let i = 0; i < stride; ++i) {
      const x = raw[y * (stride + 1) + 1 + i];
      const a = i >= bpp ? out[y * stride + i - bpp] : 0, b = y > 0 ? out[(y - 1) * stride + i] : 0;
      const c = i >= bpp && y > 0 ? out[(y - 1) * stride + i - bpp] : 0;
      const paeth = () => {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      };
      const predicted = [0, a, b, (a + b) >> 1, filter === 4 ? paeth() : 0][filter];
      out[y * stride + i] = (x + predicted) & 0xff;
    }
  }
  const at = (x, y) => {
    const i = y * stride + x * bpp;
    return (out[i] << 16) | (out[i + 1] << 8) | out[i + 2];
  };
  // The smallest rectangle [left, top, right, bottom] (inclusive) of pixels in `region` that match.
  const extent = (match, [x0, y0, w, h] = [0, 0, width, height]) => {
    let box = null;
    for (let y = Math.max(0, y0); y < Math.min(height, y0 + h); ++y)
      for (let x = Math.max(0, x0); x < Math.min(width, x0 + w); ++x)
        if (match(at(x, y))) box = box ? [Math.min(box[0], x), Math.min(box[1], y), Math.max(box[2], x),
                                             Math.max(box[3], y)] : [x, y, x, y];
    return box;
  };
  return { width, height, at, extent };
}

// Colours as the desktop render test reads them.
export const is = (want, yes = true) => (c) => (c === want) === yes;
export const dark = (c) => {
  const r = c >> 16, g = (c >> 8) & 0xff, b = c & 0xff;
  return (Math.max(r, g, b) + Math.min(r, g, b)) / 2 < 80;
};

// Nearest-rank percentile, p in (0, 100]: the smallest value that at least p per cent of the values do not
// exceed; and the median.
export function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.min(sorted.length, Math.max(1, Math.ceil((p / 100) * sorted.length))) - 1] : NaN;
}
export function median(values) {
  const s = [...values].sort((a, b) => a - b), n = s.length;
  return n === 0 ? NaN : n % 2 ? s[(n - 1) / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}
