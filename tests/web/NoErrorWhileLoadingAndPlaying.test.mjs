// SPDX-License-Identifier: MIT
// The page from its first request through a won and a lost duel: no error
// reaches the console, every file it names is there (the icons included),
// nothing of the result windows shows at start-up, and once loaded the game
// asks the network for nothing.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { get, session, load } from './harness.mjs';
import { button, handBack, pick, until, untilRuntime, winDuel } from './game.mjs';

const s = session({}, { loaded: false });

test('loading and two duels meet no error, and the game asks the network for nothing once loaded', async () => {
  const { server, page, errors } = s;
  // Each animation frame from the very first notes any result window on screen.
  await page.addInitScript(() => {
    window.__resultsSeen = [];
    const look = () => {
      for (const f of document.querySelectorAll('[data-form="frmWin"], [data-form="frmLoose"]'))
        if (f.checkVisibility()) window.__resultsSeen.push([f.dataset.form, window.zib?.now?.()]);
      if (!window.zib?.now || window.zib.now() < 1500) requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
  });
  await load(page, server.url);
  await untilRuntime(page, handBack + 200);
  assert.deepEqual(await page.evaluate(() => window.__resultsSeen), [], 'no result window at start-up');

  // Every icon the page or its manifest names is served, as an image.
  const named = await page.evaluate(async () => {
    const links = [...document.querySelectorAll('link[rel~="icon"], link[rel="apple-touch-icon"]')].map((l) => l.href);
    const manifest = document.querySelector('link[rel="manifest"]');
    const icons = manifest ? (await (await fetch(manifest.href)).json()).icons ?? [] : [];
    return { manifest: manifest?.href ?? null, icons: [...links, ...icons.map((i) => new URL(i.src, manifest.href).href)] };
  });
  assert.ok(named.manifest, 'a web app manifest');
  assert.ok(named.icons.length > 0, 'icons named');
  for (const url of named.icons) {
    const response = await get(url);
    assert.equal(response.status(), 200, url);
    assert.match(response.headers()['content-type'], /^image\//, url);
  }

  const asked = [];
  page.on('request', (r) => asked.push(r.url()));
  await pick(page, 'mnuM');
  await winDuel(page, () => page.click(button('cbStart')), () => page.click(button('Zib')));
  await page.click(button('cbStart'));
  await until(page, 'frmLoose');
  await until(page, 'cbStart');
  assert.deepEqual(asked, [], 'requests while playing');
  assert.deepEqual(errors, []);
});
