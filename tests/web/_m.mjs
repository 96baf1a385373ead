import { readFileSync } from 'node:fs';
import { serve, launch, open, median } from './harness.mjs';
const base = readFileSync('/work/wt-page/build-web/web/index.html', 'utf8');
const fonts = [...base.matchAll(/<link rel="preload"[^>]*as="font"[^>]*>/gs)].map((m) => m[0]);
const all = [...base.matchAll(/<link rel="preload"[^>]*>/gs)].map((m) => m[0]);
const move = (list) => { let s = base; for (const l of list) s = s.replace(l, ''); return s.replace('</body>', list.join('\n') + '\n</body>'); };
const v = {
  '/a.html': base,
  '/e.html': move(fonts),
  '/f.html': move(all),
  '/blank.html': '<!doctype html><html lang="en"><title>blank</title><p>Zib!</p></html>',
};
const server = await serve('/work/wt-page/build-web/web', v);
const browser = await launch();
const r = Object.fromEntries(Object.keys(v).map((k) => [k, []]));
for (let i = 0; i < 10; ++i) for (const k of Object.keys(v)) {
  const { context, page } = await open(browser);
  await page.addInitScript(() => {
    const look = (t) => { if (document.querySelector('svg') || location.pathname === '/blank.html' && document.body?.firstElementChild) window.__first = t; else requestAnimationFrame(look); };
    requestAnimationFrame(look);
  });
  await page.goto(server.url + k.slice(1));
  await page.waitForFunction(() => window.__first !== undefined);
  r[k].push(await page.evaluate(() => window.__first));
  await context.close();
}
for (const k in r) console.log(k, median(r[k]).toFixed(1), r[k].map((x) => x.toFixed(0)).join(' '));
await browser.close(); await server.stop();
