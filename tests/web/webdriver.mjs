// SPDX-License-Identifier: MIT
// WebKit, the engine of every browser on an iPhone, as Debian has it:
// WebKitGTK's MiniBrowser driven by WebKitWebDriver over classic WebDriver,
// on an X server of its own (Xvfb). It is given the few calls the harness
// makes of a browser and a page, so that the tests run in it unchanged where
// classic WebDriver can do what they ask: it has no events from the page
// (console errors, requests) and no scripts run before the page's own.
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';

const freePort = () => new Promise((done) => {
  const s = createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => done(port)); });
});
const until = async (ok, what, ms = 10000) => {
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((d) => setTimeout(d, 50)))
    if (await ok().catch(() => false)) return;
  throw new Error(`${what}: not ready in ${ms} ms`);
};

// Keys as WebDriver types them.
const keys = { Tab: '\uE004', Enter: '\uE007', Escape: '\uE00C', Space: ' ', ArrowDown: '\uE015', ArrowUp: '\uE013',
               ArrowLeft: '\uE012', ArrowRight: '\uE014', Control: '\uE009', Home: '\uE011', End: '\uE010' };
const key = (k) => keys[k] ?? k;

export async function launchWebKit({ driver = '/usr/bin/WebKitWebDriver',
                                    binary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser' } = {}) {
  const display = `:${90 + (process.pid % 400)}`;
  const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
  const port = await freePort();
  const wd = spawn(driver, [`--port=${port}`], { stdio: 'ignore', env: { ...process.env, DISPLAY: display } });
  const base = `http://127.0.0.1:${port}`;
  const send = async (method, path, body) => {
    const r = await fetch(base + path, { method, body: body === undefined ? undefined : JSON.stringify(body) });
    const { value } = await r.json();
    if (value && value.error) throw new Error(`${path}: ${value.error}: ${value.message}`);
    return value;
  };
  await until(() => send('GET', '/status').then((s) => s.ready !== false), 'WebKitWebDriver');
  const { sessionId } = await send('POST', '/session', { capabilities: { alwaysMatch: {
    'webkitgtk:browserOptions': { binary, args: ['--automation'] } } } });
  const s = (method, path, body) => send(method, `/session/${sessionId}${path}`, body);
  // Waits in the page take their own time limits.
  await s('POST', '/timeouts', { script: 600000 });
  const page = new WebKitPage(s);
  return {
    createBrowserContext: async () => ({ newPage: async () => page, close: async () => {} }),
    close: async () => {
      await s('DELETE', '').catch(() => {});
      wd.kill();
      xvfb.kill();
    },
  };
}

// A function and its arguments run in the page, its promise awaited.
const source = (fn, args) => ({ script: `return (${fn}).apply(null, arguments)`, args });

class WebKitPage {
  constructor(s) {
    this.s = s;
    const actions = (list) => s('POST', '/actions', { actions: list });
    this.keyboard = {
      down: (k) => actions([{ type: 'key', id: 'keys', actions: [{ type: 'keyDown', value: key(k) }] }]),
      up: (k) => actions([{ type: 'key', id: 'keys', actions: [{ type: 'keyUp', value: key(k) }] }]),
      press: (k) => actions([{ type: 'key', id: 'keys', actions: [{ type: 'keyDown', value: key(k) },
                                                                   { type: 'keyUp', value: key(k) }] }]),
    };
    const pointer = (type, list) => actions([{ type: 'pointer', id: type, parameters: { pointerType: type }, actions: list }]);
    let at = [0, 0];
    this.mouse = {
      move: (x, y) => { at = [Math.round(x), Math.round(y)]; return pointer('mouse', [{ type: 'pointerMove', x: at[0], y: at[1] }]); },
      down: () => pointer('mouse', [{ type: 'pointerMove', x: at[0], y: at[1] }, { type: 'pointerDown', button: 0 }]),
      up: () => pointer('mouse', [{ type: 'pointerUp', button: 0 }]),
    };
    this.touchscreen = {
      tap: (x, y) => pointer('touch', [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y) },
                                       { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]),
    };
  }
  on() {}
  goto(url) { return this.s('POST', '/url', { url }); }
  reload() { return this.s('POST', '/refresh', {}); }
  title() { return this.s('GET', '/title'); }
  evaluate(fn, ...args) {
    return this.s('POST', '/execute/sync', typeof fn === 'string' ? { script: `return (${fn})`, args: [] } : source(fn, args));
  }
  // Looks in the page, at each change to it and each frame, until `fn` gives something.
  async waitForFunction(fn, { timeout = 30000 } = {}, ...args) {
    const test = typeof fn === 'string' ? `() => (${fn})` : String(fn);
    const value = await this.s('POST', '/execute/sync', {
      script: `const test = (${test}), args = arguments[0], timeout = arguments[1];
        return new Promise((done) => {
          const end = performance.now() + timeout;
          const look = async () => {
            const v = await test(...args);
            if (v) { observer.disconnect(); done({ value: v }); return; }
            if (performance.now() > end) { observer.disconnect(); done({ timedOut: true }); return; }
            requestAnimationFrame(look);
          };
          const observer = new MutationObserver(look);
          observer.observe(document, { subtree: true, childList: true, attributes: true, characterData: true });
          look();
        });`,
      args: [args, timeout] });
    if (value.timedOut) throw new Error(`Waiting failed: ${timeout}ms exceeded`);
    return { jsonValue: async () => value.value };
  }
  async $(selector) {
    const found = await this.evaluate((s) => !!document.querySelector(s), selector);
    return found && { boundingBox: () => this.evaluate((s) => {
      const r = document.querySelector(s).getBoundingClientRect();
      return { x: r.x, y: r.y, width: r.width, height: r.height };
    }, selector) };
  }
  $eval(selector, fn, ...args) {
    return this.s('POST', '/execute/sync', { script: `const e = document.querySelector(arguments[0]);
      if (!e) throw new Error('nothing is ' + arguments[0]); return (${fn}).apply(null, [e, ...arguments[1]])`,
      args: [selector, args] });
  }
  $$eval(selector, fn, ...args) {
    return this.s('POST', '/execute/sync', { script: `return (${fn}).apply(null,
      [[...document.querySelectorAll(arguments[0])], ...arguments[1]])`, args: [selector, args] });
  }
  async click(selector) {
    const e = await this.s('POST', '/element', { using: 'css selector', value: selector });
    await this.s('POST', `/element/${Object.values(e)[0]}/click`, {});
  }
  async screenshot() { return Buffer.from(await this.s('GET', '/screenshot'), 'base64'); }
  // The page's viewport made this size, through the window's.
  async setViewport({ width, height }) {
    const [w, h] = await this.evaluate(() => [outerWidth - innerWidth, outerHeight - innerHeight]);
    await this.s('POST', '/window/rect', { width: width + w, height: height + h });
    await this.waitForFunction((w, h) => innerWidth === w && innerHeight === h, { timeout: 5000 }, width, height)
      .catch(() => {});
  }
  evaluateOnNewDocument() { throw new Error('classic WebDriver runs no script before the page'); }
  addScriptTag({ content }) { return this.evaluate((c) => { const s = document.createElement('script'); s.text = c; document.head.append(s); }, content); }
}
