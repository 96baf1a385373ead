// SPDX-License-Identifier: MIT
// After one visit the game needs no server: with it gone, a reload still
// brings the game up, and a duel plays to its result.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { session, load, untilReady } from './harness.mjs';
import { button, handBack, pick, untilRuntime, winDuel } from './game.mjs';

const s = session({}, { loaded: false });

test('a reload with the server stopped plays offline', async () => {
  const { server, page, errors } = s;
  await load(page, server.url);
  // The service worker has everything once it is active.
  await page.evaluate(() => navigator.serviceWorker.ready.then(() => undefined));
  await server.stop();
  await page.reload();
  await untilReady(page);
  assert.ok(await page.evaluate(() => navigator.serviceWorker.controller !== null), 'the page served by its worker');
  await untilRuntime(page, handBack + 50);
  await pick(page, 'mnuE');
  await winDuel(page, () => page.click(button('cbStart')), () => page.click(button('Zib')));
  assert.deepEqual(errors, [], 'nothing asked of the server gone, and no error');
});
