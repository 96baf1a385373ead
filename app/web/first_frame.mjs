// SPDX-License-Identifier: MIT
// Puts the duel window's first frame into the page, so that the browser can
// paint it before the program has even arrived: the program itself is run
// here, in Node, on a stand-in for the page's document that records what it
// builds, and the duel window it first shows is written into the page as
// markup. Its styles go in one style block of the page (the page's policy
// lets in no style attributes), and it is centred as the page's script
// centres the window. The game removes it in the frame it shows its own
// window in, which looks the same; until then it takes no input.
//
// The style sheet the windows are drawn with goes in the page too, so that
// nothing holds that first paint up.
//
//   node first_frame.mjs PAGE_IN PAGE_OUT DIR STYLE   (DIR holds zib.js and zib.wasm)
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import vm from 'node:vm';

const [pageIn, pageOut, dir, sheet] = process.argv.slice(2);

class Element {
  constructor(localName) {
    Object.assign(this, { localName, attributes: new Map(), children: [], style: {}, dataset: {}, text: null,
                          parentElement: null });
    if (localName === 'button')
      this.disabled = false;
  }
  setAttribute(name, value) { this.attributes.set(name, String(value)); }
  getAttribute(name) { return this.attributes.has(name) ? this.attributes.get(name) : null; }
  removeAttribute(name) { this.attributes.delete(name); }
  append(...children) { for (const c of children) { c.parentElement = this; this.children.push(c); } }
  insertBefore(child, before) {
    child.parentElement = this;
    this.children.splice(this.children.indexOf(before), 0, child);
  }
  get childElementCount() { return this.children.length; }
  set textContent(text) { this.children = []; this.text = String(text); }
  contains() { return false; }
  addEventListener() {}
  remove() {}
  get offsetWidth() { return 0; }
  get offsetHeight() { return 0; }
}

const main = new Element('main');
const document = {
  querySelector: (selector) => (selector === 'main' ? main : new Element('div')),
  querySelectorAll: () => [],
  createElement: (name) => new Element(name),
  createElementNS: (_, name) => new Element(name),
  fonts: { add() {} },
  activeElement: null,
  body: null,
  title: '',
};
const frame = (f) => setTimeout(() => f(performance.now()), 1);
const page = {
  document, performance, MessageChannel, queueMicrotask, setTimeout, clearTimeout, console, WebAssembly,
  requestAnimationFrame: frame, cancelAnimationFrame: clearTimeout, addEventListener() {},
  innerWidth: 0, innerHeight: 0, location: { reload() {} }, navigator: {},
  Module: {
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(readFileSync(join(dir, 'zib.wasm')), imports).then((r) => receive(r.instance));
      return {};
    },
  },
};
page.window = page;
vm.createContext(page);
vm.runInContext(readFileSync(join(dir, 'zib.js'), 'utf8'), page, { filename: 'zib.js' });
await new Promise((done) => { const look = () => (page.zib?.ready ? done() : setTimeout(look, 1)); look(); });

// The window as markup; each element's style as a rule of its own.
const rules = [];
const escape = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/"/g, '&quot;');
const kebab = (name) => name.replace(/[A-Z]/g, (c) => '-' + c.toLowerCase());
function markup(el) {
  const a = new Map();
  for (const [name, prop] of [['class', 'className'], ['type', 'type'], ['tabindex', 'tabIndex'], ['src', 'src'],
                              ['srcset', 'srcset'], ['alt', 'alt'], ['width', 'width'], ['height', 'height']])
    if (el[prop] !== undefined) a.set(name, el[prop]);
  for (const [name, value] of el.attributes) a.set(name, value);
  for (const [name, value] of Object.entries(el.dataset))
    if (name !== 'form') a.set('data-' + kebab(name), value);
  if (el.hidden) a.set('hidden', '');
  if (el.disabled) a.set('disabled', '');
  const style = Object.entries(el.style).filter(([n, v]) => v !== '' && n !== 'transform')
    .map(([n, v]) => `${kebab(n)}: ${v}`).join('; ');
  if (style) {
    a.set('data-f', rules.length);
    rules.push(`[data-first] [data-f="${rules.length}"] { ${style}; }`);
  }
  const attributes = [...a].map(([n, v]) => (v === '' ? ` ${n}` : ` ${n}="${escape(String(v))}"`)).join('');
  const inner = el.text !== null ? escape(el.text) : el.children.map(markup).join('');
  return `<${el.localName}${attributes}>${inner}</${el.localName}>`;
}
const duel = main.children.find((w) => !w.hidden && w.className.includes('titled'));
const client = duel.children.find((c) => 'client' in c.dataset);
// The window's size: the client area, the menu bar (18 pixels and its rule) and the frame.
const width = parseInt(client.style.width) + 2, height = parseInt(client.style.height) + 19 + 2;
const centred = (extent, size) => `max(0px, round(calc((${extent} - ${size}px) / 2), 1px))`;
const faces = [...readFileSync(pageIn, 'utf8').matchAll(/<link rel="preload" href="([^"]+)" as="font"[^>]*?data-family="([^"]+)"(?: data-weight="(\d+)")?/gs)]
  .map(([, href, family, weight]) => `@font-face { font-family: "${family}"; src: url("${href}") format("woff2"); ` +
                                     `font-weight: ${weight ?? 'normal'}; font-display: block; }`);
const window = markup(duel).replace('<section', '<section data-first inert aria-hidden="true"');
const style = [
  ...faces,
  `[data-first] { transform: translate(${centred('100vw', width)}, ${centred('100vh', height)}); }`,
  `[data-first], [data-first] * { cursor: progress; }`,
  // Too small a screen: the game scales the window down itself.
  `@media (max-width: ${width - 1}px), (max-height: ${height - 1}px) { [data-first] { visibility: hidden; } }`,
  ...rules,
].join('\n');
const html = readFileSync(pageIn, 'utf8')
  .replace('<link rel="stylesheet" href="forms.css">', `<style>\n${readFileSync(sheet, 'utf8')}</style>`)
  .replace('</head>', `<style>\n${style}\n</style>\n</head>`)
  .replace('<!--@FIRST_FRAME@-->', window);
writeFileSync(pageOut, html);
process.exit(0);
