// SPDX-License-Identifier: MIT
// WebKit, the engine of every browser on an iPhone, as Debian has it:
// WebKitGTK's MiniBrowser driven by WebKitWebDriver over classic WebDriver,
// on an X server of its own (Xvfb). It is given the few of puppeteer's calls
// the tests make of a browser and a page, so that they run in it unchanged
// where classic WebDriver can do what they ask: it has no events from the
// page (console errors, requests) and no scripts run before the page's own.
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';

const freePort = () => new Promise((done) => {
  const s = createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => done(port)); });
});

// Keys as WebDriver types them.
const names = { Tab: '\uE004', Enter: '\uE007', Escape: '\uE00C', Space: ' ', ArrowDown: '\uE015', Control: '\uE009' };

// A press and release at (x, y) of the page, by the mouse or a finger ('touch'), as one action sequence.
export const pressAt = (type, x, y) => ({ type: 'pointer', id: type, parameters: { pointerType: type }, actions: [
  { type: 'pointerMove', x: Math.round(x), y: Math.round(y) }, { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }] });

export async function launchWebKit({ driver = '/usr/bin/WebKitWebDriver',
                                    binary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser' } = {}) {
  const display = `:${90 + (process.pid % 400)}`;
  const xvfb = spawn('Xvfb', [display, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
  const port = await freePort();
  const wd = spawn(driver, [`--port=${port}`], { stdio: 'ignore', env: { ...process.env, DISPLAY: display } });
  const base = `http://127.0.0.1:${port}`;
  const send = async (method, path, body) => {
    const { value } = await (await fetch(base + path, { method, body: JSON.stringify(body) })).json();
    if (value && value.error) throw new Error(`${path}: ${value.error}: ${value.message}`);
    return value;
  };
  for (const end = Date.now() + 10000; !(await send('GET', '/status').then((s) => s.ready !== false, () => false));) {
    if (Date.now() > end) throw new Error('WebKitWebDriver: not ready in 10 s');
    await new Promise((d) => setTimeout(d, 50));
  }
  // Full screen, without the toolbar whose width keeps a window wider than a phone's screen.
  const { sessionId } = await send('POST', '/session', { capabilities: { alwaysMatch: {
    'webkitgtk:browserOptions': { binary, args: ['--automation', '--full-screen'] } } } });
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

class WebKitPage {
  constructor(s) {
    this.s = s;
    const actions = (list) => s('POST', '/actions', { actions: list });
    const keys = (...types) => (k) => actions([{ type: 'key', id: 'keys',
                                                  actions: types.map((type) => ({ type, value: names[k] ?? k })) }]);
    this.keyboard = { down: keys('keyDown'), up: keys('keyUp'), press: keys('keyDown', 'keyUp') };
    this.mouse = { click: (x, y) => actions([pressAt('mouse', x, y)]) };
    this.touchscreen = { tap: (x, y) => actions([pressAt('touch', x, y)]) };
  }
  on() {}
  goto(url) { return this.s('POST', '/url', { url }); }
  reload() { return this.s('POST', '/refresh', {}); }
  // A function and its arguments run in the page, its promise awaited; a string, as a script of its own.
  evaluate(fn, ...args) {
    return this.s('POST', '/execute/sync', typeof fn === 'string' ? { script: fn, args: [] }
                                                                  : { script: `return (${fn}).apply(null, arguments)`, args });
  }
  // Looks in the page at each frame until `fn` gives something.
  async waitForFunction(fn, { timeout = 30000 } = {}, ...args) {
    const value = await this.s('POST', '/execute/sync', { script: `const test = (${fn}), [args, timeout] = arguments;
      return new Promise((done) => {
        const end = performance.now() + timeout, look = async () => {
          const v = await test(...args);
          if (v || performance.now() > end) done(v ? { value: v } : { timedOut: true });
          else requestAnimationFrame(look);
        };
        look();
      });`, args: [args, timeout] });
    if (value.timedOut) throw new Error(`Waiting failed: ${timeout}ms exceeded`);
    return { jsonValue: async () => value.value };
  }
  async click(selector) {
    const e = await this.s('POST', '/element', { using: 'css selector', value: selector });
    await this.s('POST', `/element/${Object.values(e)[0]}/click`, {});
  }
  async screenshot() {
    return Buffer.from(await this.s('GET', '/screenshot'), 'base64');
  }
  // The page's viewport made this size: the window's, as it has no toolbar.
  setViewport({ width, height }) { return this.s('POST', '/window/rect', { width, height }); }
}
