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
import puppeteer from 'puppeteer-core';
import { launchWebKit } from './webdriver.mjs';

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

// The browser the tests run in, as the suite names it: `chromium` (Debian's, over the DevTools protocol) or
// `firefox` (Debian's Firefox ESR, over WebDriver BiDi), or `webkit` (WebKitGTK, over classic WebDriver: see
// webdriver.mjs). All are the stock browsers of the machine, kept off the network they cannot reach: only the
// page's own server is used.
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
  const how = browsers[name];
  if (!how) throw new Error(`no browser called ${name}`);
  return puppeteer.launch({ headless: true, defaultViewport: null, ...how });
}

// A page in a browsing context of its own, with every error it meets collected: console errors, uncaught
// exceptions, requests that failed or were answered with an error (a missing icon counts). `options`:
// `viewport` {width, height}, `deviceScaleFactor`, `hasTouch` and `isMobile` (the last two Chromium's only).
export async function open(browser, options = {}) {
  const context = await browser.createBrowserContext();
  const raw = await context.newPage();
  const page = new Tab(raw, { width: 800, height: 600, ...options.viewport }, options);
  await page.setViewportSize(page.viewportSize());
  const errors = [];
  raw.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  raw.on('pageerror', (e) => errors.push(`exception: ${e.message}`));
  // What the page itself asked for and did not get; a navigation given up because the test went on is not
  // the page's fault. (The service worker's own requests count through what they answer the page.)
  raw.on('requestfailed', (r) => {
    if (!/ERR_ABORTED|NS_BINDING_ABORTED/.test(r.failure()?.errorText ?? '')) errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`);
  });
  raw.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  const cdp = browserName === 'chromium' ? await raw.createCDPSession() : null;
  return { context, page, cdp, errors };
}

// One element of the page, found afresh by its selector each time it is asked about.
class Element {
  constructor(page, selector) { [this.page, this.selector] = [page, selector]; }
  async handle() {
    const e = await this.page.$(this.selector);
    if (!e) throw new Error(`nothing on the page is ${this.selector}`);
    return e;
  }
  async boundingBox() { return (await this.handle()).boundingBox(); }
  click() { return this.page.click(this.selector); }
  // A touch on its centre, or at (dx, dy) from it. (Firefox takes a touch only as one whole action sequence.)
  async tap({ dx = 0, dy = 0 } = {}) {
    const box = await this.boundingBox();
    const [x, y] = [box.x + box.width / 2 + dx, box.y + box.height / 2 + dy];
    if (browserName !== 'firefox') return this.page.touchscreen.tap(x, y);
    await this.page.mainFrame().browsingContext.performActions([{
      type: 'pointer', id: 'finger', parameters: { pointerType: 'touch' },
      actions: [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y) }, { type: 'pointerDown', button: 0 },
                { type: 'pointerUp', button: 0 }] }]);
  }
  isVisible() { return this.page.$eval(this.selector, (e) => e.checkVisibility()).catch(() => false); }
  getAttribute(name) { return this.page.$eval(this.selector, (e, n) => e.getAttribute(n), name); }
  innerText() { return this.page.$eval(this.selector, (e) => e.innerText); }
  evaluate(fn) { return this.page.$eval(this.selector, fn); }
  count() { return this.page.$$eval(this.selector, (all) => all.length); }
  locator(selector) { return new Element(this.page, `${this.selector} ${selector}`); }
  waitFor({ state = 'visible', timeout = 10000 } = {}) {
    return this.page.waitForFunction((s, v) => !!document.querySelector(s)?.checkVisibility() === v,
                                     { timeout, polling: 'raf' }, this.selector, state === 'visible');
  }
}

// The page as the tests drive it, whichever browser shows it: the few things they do with it, the same way
// in each.
class Tab {
  constructor(page, viewport, { deviceScaleFactor = 1, hasTouch = false, isMobile = false } = {}) {
    this.raw = page;
    this.view = viewport;
    this.emulation = { deviceScaleFactor, hasTouch, isMobile };
    this.keyboard = {
      // A key, or a chord such as "Control+Space": the modifiers held down around it.
      press: async (chord) => {
        // (BiDi names the space bar by the character it types.)
        const keys = chord.split('+'), key = keys.pop().replace(/^Space$/, browserName === 'firefox' ? ' ' : 'Space');
        for (const k of keys) await page.keyboard.down(k);
        await page.keyboard.press(key);
        for (const k of keys.reverse()) await page.keyboard.up(k);
      },
    };
    this.mouse = page.mouse;
  }
  goto(url) { return this.raw.goto(url, { waitUntil: 'load' }); }
  reload() { return this.raw.reload({ waitUntil: 'load' }); }
  title() { return this.raw.title(); }
  evaluate(fn, arg) { return typeof fn === 'string' ? this.raw.evaluate(fn) : this.raw.evaluate(fn, arg); }
  waitForFunction(fn, arg, { timeout = 30000, polling = 'raf' } = {}) {
    return typeof fn === 'string' ? this.raw.waitForFunction(fn, { timeout, polling })
                                  : this.raw.waitForFunction(fn, { timeout, polling }, arg);
  }
  locator(selector) { return new Element(this.raw, selector); }
  click(selector) { return this.raw.click(selector); }
  $$eval(selector, fn, arg) { return this.raw.$$eval(selector, fn, arg); }
  async screenshot() { return Buffer.from(await this.raw.screenshot({ type: 'png' })); }
  viewportSize() { return { ...this.view }; }
  async setViewportSize({ width, height }) {
    this.view = { width, height };
    await this.raw.setViewport({ width, height, ...this.emulation });
  }
  addInitScript(fn) { return this.raw.evaluateOnNewDocument(fn); }
  // Requests whose address matches `pattern` (a glob: ** any path) answered by `handler` rather than the server:
  // it is given `fulfill({contentType, body})`.
  async route(pattern, handler) {
    const re = new RegExp(`^${pattern.replace(/[.+?^${}()|[\]\\]/g, '\\$&').replace(/\*\*/g, '.*')}$`);
    this.routes = [...(this.routes ?? []), { pattern, re, handler }];
    if (this.routes.length > 1) return;
    this.intercept = (request) => {
      if (request.isInterceptResolutionHandled()) return;
      const route = this.routes.find((r) => r.re.test(request.url()));
      if (!route) return request.continue();
      return route.handler({ fulfill: ({ contentType, body, status = 200 }) => request.respond({ status, contentType, body }) });
    };
    this.raw.on('request', this.intercept);
    await this.raw.setRequestInterception(true);
  }
  async unroute(pattern) {
    this.routes = (this.routes ?? []).filter((r) => r.pattern !== pattern);
    if (this.routes.length || !this.intercept) return;
    await this.raw.setRequestInterception(false);
    this.raw.off('request', this.intercept);
    this.intercept = null;
  }
  addScriptTag(options) { return this.raw.addScriptTag(options); }
  on(name, fn) { this.raw.on(name, fn); }
}

// The page's accessibility tree as lines of `role "name"`, `[disabled]` where so: the browser's own tree where
// its protocol gives it (Chromium's), else the one the elements' roles, names and states make (Firefox).
export async function accessibilityTree(page) {
  const lines = [];
  const walk = (n) => {
    if (!n) return;
    lines.push(`${n.role} "${n.name ?? ''}"${n.disabled ? ' [disabled]' : ''}`);
    for (const c of n.children ?? []) walk(c);
  };
  try {
    walk(await page.raw.accessibility.snapshot());
  } catch {
    walk(await page.evaluate(() => {
      const implicit = { BUTTON: 'button', MAIN: 'main', SECTION: 'region' };
      const node = (e) => {
        if (!e.checkVisibility() || e.getAttribute('aria-hidden') === 'true') return null;
        const role = e.getAttribute('role') ?? implicit[e.tagName] ?? 'generic';
        const own = [...e.childNodes].filter((c) => c.nodeType === 3 && c.textContent.trim())
          .map((c) => ({ role: 'StaticText', name: c.textContent.trim() }));
        const named = ['button', 'menuitem', 'menuitemradio'].includes(role);
        const name = e.getAttribute('aria-label') ?? (named ? e.textContent.trim() : '');
        return { role, name, disabled: e.disabled === true || e.getAttribute('aria-disabled') === 'true',
                 children: [...own, ...[...e.children].map(node).filter(Boolean)] };
      };
      return node(document.body);
    }));
  }
  return lines.join('\n');
}

// A file of the page's server as any client gets it.
export async function get(url) {
  const r = await fetch(url);
  return { status: () => r.status, headers: () => Object.fromEntries(r.headers) };
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
      if (Date.now() >= end || !/context was destroyed|navigation|detached|no such frame|realm/i.test(e.message)) throw e;
    }
  }
}

// The page's runtime clock, and presses made at a chosen moment on it. Over the DevTools protocol (Chromium),
// `Input.dispatchMouseEvent` takes its stamp in seconds since 1970, and the page sees it as `event.timeStamp`,
// ms since its `performance.timeOrigin`, which is on the same wall clock as ours: a press is stamped at a
// chosen runtime millisecond, and may reach the page later than that. WebDriver BiDi (Firefox) has no such
// stamp: the press is made at the moment and the browser stamps it when it takes it. Either way the page's
// own record of the press's `timeStamp` (`stamp()`) is what a test judges the outcome by.
export async function stamper(page, cdp) {
  const wall = () => performance.timeOrigin + performance.now();
  const asked = wall();
  const { epoch, origin, there } = await page.evaluate(() => {
    window.__stamps = { pointerdown: [], click: [] };
    for (const type in window.__stamps) addEventListener(type, (e) => window.__stamps[type].push(e.timeStamp), true);
    return { epoch: window.zib.epoch, origin: performance.timeOrigin, there: performance.timeOrigin + performance.now() };
  });
  const answered = wall();
  // The page's reading must fall between ours before and after asking for it, however long that took on a
  // busy machine (give or take the two clocks' own rounding).
  if (there < asked - 5 || there > answered + 5)
    throw new Error(`the page's wall clock read ${there - asked} ms after we asked, which took ${answered - asked} ms`);
  const toWall = (runtimeMs) => origin + epoch + runtimeMs;
  return {
    epoch,
    // Whether a press can be stamped at a chosen moment, and so reach the page late.
    onDemand: !!cdp,
    // Waits until the runtime millisecond `at` (a fraction into it) has passed here too, and `late` ms more,
    // then presses (and releases) the mouse at (x, y) of the page, stamped at that instant where the protocol
    // can: as input held up on its way for `late` ms would reach the page. Resolves to the wall-clock time it
    // was sent.
    async press(x, y, at, { release = true, late = 0 } = {}) {
      const when = toWall(at);
      await untilWall(when + (cdp ? late : 0) + 0.05);
      const sent = performance.timeOrigin + performance.now();
      if (!cdp) {
        await page.mouse.move(x, y);
        await page.mouse.down();
        if (release) await page.mouse.up();
        return sent;
      }
      const base = { x, y, button: 'left', clickCount: 1, timestamp: when / 1000 };
      await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mousePressed' });
      if (release) await cdp.send('Input.dispatchMouseEvent', { ...base, type: 'mouseReleased' });
      return sent;
    },
    // The runtime time of the last press (`pointerdown`, which ZIB! takes) or click (which the other buttons
    // take), from the `timeStamp` the page saw on it.
    stamp: (type = 'pointerdown') => page.evaluate((t) => window.__stamps[t].at(-1) - window.zib.epoch, type),
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
