// SPDX-License-Identifier: MIT
// The page side of the forms runtime's web backend: what only a browser can
// do. It makes the elements the driver asks for, passes the player's input
// on with the browser's own stamps, calls the driver back at its timer's
// moment, and keeps a log of what each event changed and the frame that
// showed it, for whoever watches the page from outside. The rules are in the
// C++ code; this file is put ahead of the script em++ makes, as its
// "pre-js". The page around it (index.html) has a <main>, a live region
// [data-announce] and a notice [data-ended] with a [data-restart] button,
// and preloads the fonts and pictures its windows use.

var Page = (() => {
  const svgns = 'http://www.w3.org/2000/svg';
  // Kinds of input target, and keys, as the driver numbers them.
  const button = 0, menuItem = 1;
  const keys = {' ': 0, 'Enter': 1, 'Escape': 2};

  const windows = [];
  const log = [];
  const zib = {
    ready: false,        // the first frame with a titled window is drawn
    firstFrameAt: null,  // that frame's time on the page clock
    epoch: 0,            // the page clock at the runtime's time 0
    offline: false,      // the service worker holds the whole folder
    ended: false,
    now: () => Math.floor(performance.now()) - zib.epoch,
    rewinds: () => call('rewinds'),
    log,
  };
  window.zib = zib;

  let started = false;
  let entry = null;      // the log entry of the event being delivered
  let inFrame = 0;       // the frame's time while delivering inside an animation frame
  let waiting = [];      // entries waiting for the frame that shows them
  let presenting = 0;
  let armed = null;      // {at}: the timer event armed
  let timeout = 0, frame = 0;
  let beforeMenu = null; // what had the focus before F10 took it to the menu bar
  let lastPointer = '';  // the kind of pointer last pressed: mouse, pen or touch

  const hex = (rgb) => '#' + rgb.toString(16).padStart(6, '0');
  const px = (n) => n + 'px';
  const call = (name, ...args) => started && !zib.ended ? Module['_zib_' + name](...args) : 0;

  // -- Timers ---------------------------------------------------------------

  // A task as soon as the browser gets round to it, never from inside the
  // driver's own call.
  const channel = new MessageChannel();
  const tasks = [];
  channel.port1.onmessage = () => tasks.shift()();
  const soon = (task) => { tasks.push(task); channel.port2.postMessage(0); };

  // The page wakes for a timer event with a timeout a little before its
  // moment, as a browser's timeouts fire up to a millisecond or so off and
  // take whole ones, and waits out the rest busily, so that the event goes
  // at its moment whatever input is on its way: the runtime puts input that
  // comes late right by its stamp. A timeout is never set for less than a
  // millisecond, which would be none, and a few of those in a row are made
  // 4 ms.
  //
  // Within a frame of the moment every animation frame looks too: a frame
  // beginning after the moment, or just before it, delivers the event and
  // shows it. And after input the browser runs nothing else, timeouts
  // included, until its next frame, so an event due before that frame is
  // waited out right after the input.
  const early = 1, frameAhead = 20;
  let frameAt = 0, frameGap = 1000 / 60;  // the last animation frame, and the time between frames

  function disarm() {
    clearTimeout(timeout);
    cancelAnimationFrame(frame);
    timeout = frame = 0;
    armed = null;
  }

  function arm(at) {
    disarm();
    if (at < 0) {
      takeOver();
      return;
    }
    const a = armed = {at};
    soon(() => wake(a));
  }

  function wake(a) {
    if (armed !== a)
      return;
    const left = a.at - performance.now();
    if (left > frameAhead + 1) {
      timeout = setTimeout(() => wake(a), left - frameAhead);
      return;
    }
    if (!frame)
      watch(a);
    if (left > early + 1) {
      timeout = setTimeout(() => wake(a), left - early);
      return;
    }
    deliver(a);
  }

  function watch(a) {
    frame = requestAnimationFrame((time) => {
      frame = 0;
      if (time - frameAt < 50)
        frameGap = Math.max(4, time - frameAt);
      frameAt = time;
      if (armed !== a)
        return;
      if (a.at - performance.now() > early + 1) {
        watch(a);
        return;
      }
      inFrame = time;
      deliver(a);
      inFrame = 0;
    });
  }

  function afterInput() {
    const a = armed, now = performance.now();
    if (!a || a.at - now > frameAhead || now - frameAt > 2 * frameGap)
      return;
    const nextFrame = frameAt + frameGap * Math.ceil((now - frameAt) / frameGap);
    if (a.at <= nextFrame)
      deliver(a);
  }

  // Waits out what is left to the moment, and delivers.
  function deliver(a) {
    if (armed !== a)
      return;
    while (performance.now() < a.at) { /* the last moments */ }
    disarm();
    call('deadline');
    takeOver();
  }

  // -- The log --------------------------------------------------------------

  function event(moment) {
    entry = {moment, at: performance.now(), shown: [], hidden: [], enabled: [], disabled: [], checked: [],
             unchecked: [], presentedAt: null};
    if (log.length >= 4000)
      log.splice(0, 1000);
    log.push(entry);
    if (inFrame) {
      entry.presentedAt = inFrame;
      return;
    }
    waiting.push(entry);
    if (!presenting)
      presenting = requestAnimationFrame((time) => {
        presenting = 0;
        for (const e of waiting)
          e.presentedAt = time;
        waiting = [];
      });
  }

  const note = (list, name) => { if (entry) entry[list].push(name); };

  // -- Windows --------------------------------------------------------------

  function layout() {
    let width = 0, height = 0;
    for (const w of windows)
      if (w && w.size) {
        width = Math.max(width, w.size[0]);
        height = Math.max(height, w.size[1]);
      }
    if (!width)
      return;
    // The whole window scales down to fit a small screen, keeping its
    // proportions; it is centred on whole pixels, so that at full size its
    // pixels are the screen's.
    const scale = Math.min(1, innerWidth / width, innerHeight / height);
    for (const w of windows)
      if (w && w.visible) {
        const x = Math.max(0, Math.round((innerWidth - w.size[0] * scale) / 2));
        const y = Math.max(0, Math.round((innerHeight - w.size[1] * scale) / 2));
        w.el.style.transform = `translate(${x}px, ${y}px)` + (scale < 1 ? ` scale(${scale})` : '');
        // Pictures keep their pixels where the screen's are a whole number
        // of theirs, and are scaled smoothly elsewhere.
        w.el.classList.toggle('smooth', !Number.isInteger(scale * devicePixelRatio));
        reach(w, scale);
      }
  }

  // Every control takes a touch a finger's width (24 CSS pixels) around its
  // centre, however small the window is scaled, with nothing drawn
  // differently: an invisible margin of the control's own. Where two
  // controls' margins would meet, each gets the half of the gap nearer to
  // it, so that a touch between them goes to the nearer one. A menu opened
  // by a touch has rows of that height.
  const finger = 24;

  function reach(w, scale) {
    // A window's controls stay where they are: only a new scale moves their
    // margins, not every window shown.
    if (w.reachScale === scale)
      return;
    w.reachScale = scale;
    const size = finger / scale;
    w.el.style.setProperty('--finger', px(size));
    const origin = w.el.getBoundingClientRect();
    const targets = [...w.client.querySelectorAll('button'),
                     ...(w.bar ? w.bar.querySelectorAll('[role="menuitem"]') : [])].map((el) => {
      const r = el.getBoundingClientRect();
      const box = {l: (r.left - origin.left) / scale, t: (r.top - origin.top) / scale,
                   r: (r.right - origin.left) / scale, b: (r.bottom - origin.top) / scale};
      const cx = (box.l + box.r) / 2, cy = (box.t + box.b) / 2;
      const hw = Math.max(box.r - box.l, size) / 2, hh = Math.max(box.b - box.t, size) / 2;
      return {el, box, area: {l: cx - hw, t: cy - hh, r: cx + hw, b: cy + hh}};
    }).filter((t) => t.box.r > t.box.l);
    for (const a of targets)
      for (const b of targets) {
        const p = a.area, q = b.area;
        if (a === b || p.l >= q.r || q.l >= p.r || p.t >= q.b || q.t >= p.b)
          continue;
        const across = Math.max(b.box.l - a.box.r, a.box.l - b.box.r);
        const down = Math.max(b.box.t - a.box.b, a.box.t - b.box.b);
        if (across >= down) {
          const [left, right] = a.box.l < b.box.l ? [a, b] : [b, a];
          const middle = (left.box.r + right.box.l) / 2;
          left.area.r = Math.min(left.area.r, middle);
          right.area.l = Math.max(right.area.l, middle);
        } else {
          const [upper, lower] = a.box.t < b.box.t ? [a, b] : [b, a];
          const middle = (upper.box.b + lower.box.t) / 2;
          upper.area.b = Math.min(upper.area.b, middle);
          lower.area.t = Math.max(lower.area.t, middle);
        }
      }
    // Two controls closer than a finger, as Skill and Quit on the menu bar
    // are, keep their finger's width by reaching further on their other side.
    for (const t of targets) {
      const area = t.area, box = t.box;
      if (area.r - area.l < size)
        [area.l, area.r] = area.r < (box.l + box.r) / 2 + size / 2 ? [area.r - size, area.r] : [area.l, area.l + size];
      if (area.b - area.t < size)
        [area.t, area.b] = area.b < (box.t + box.b) / 2 + size / 2 ? [area.b - size, area.b] : [area.t, area.t + size];
    }
    for (const t of targets) {
      const el = t.el, box = t.box, area = t.area;
      // The margin is placed from inside the control's border.
      const left = el.clientLeft, top = el.clientTop;
      const right = el.offsetWidth - el.clientWidth - left, bottom = el.offsetHeight - el.clientHeight - top;
      el.style.setProperty('--reach-left', px(Math.min(0, area.l - box.l) - left));
      el.style.setProperty('--reach-top', px(Math.min(0, area.t - box.t) - top));
      el.style.setProperty('--reach-right', px(Math.min(0, box.r - area.r) - right));
      el.style.setProperty('--reach-bottom', px(Math.min(0, box.b - area.b) - bottom));
    }
  }

  function place(el, c) {
    Object.assign(el.style, {left: px(c.x), top: px(c.y), width: px(c.width), height: px(c.height), zIndex: c.z});
  }

  function font(c) {
    return (c.bold ? 'bold ' : '') + px(c.fontPixels) + ' ' + (c.family ? `"${c.family}", cursive` : 'sans-serif');
  }

  // Where a caption's ink lies at a size, in the font the page draws it in:
  // from the middle of its line's top, where a label hangs its caption
  // (line-height normal puts the baseline at the font's ascent).
  let measure;  // the canvas measured with; null where there is none
  function ink(caption, family, bold, pixels) {
    if (measure === undefined) {
      const canvas = document.createElement('canvas');
      measure = (canvas.getContext && canvas.getContext('2d')) || null;
    }
    if (!measure)
      return [0, 0, 0, 0];
    measure.font = font({bold, fontPixels: pixels, family});
    const m = measure.measureText(caption), half = m.width / 2, ascent = m.fontBoundingBoxAscent;
    return [-m.actualBoundingBoxLeft - half, ascent - m.actualBoundingBoxAscent,
            m.actualBoundingBoxRight - half, ascent + m.actualBoundingBoxDescent];
  }

  // The pixels a line's pen covers, as the desktop draws them: along its
  // main direction each pixel column (or row) from one end to the other
  // gets the pen's width in pixels, from where the line crosses it down.
  // As a band of that thickness it stays crisp at any density.
  function band(c) {
    const steep = Math.abs(c.to[1] - c.from[1]) > Math.abs(c.to[0] - c.from[0]);
    // Along u, across v.
    const u = (p) => steep ? p[1] : p[0], v = (p) => steep ? p[0] : p[1];
    const a = u(c.from) <= u(c.to) ? c.from : c.to, b = a === c.from ? c.to : c.from;
    const slope = u(b) === u(a) ? 0 : (v(b) - v(a)) / (u(b) - u(a));
    // A little below the middle, so that a pixel centre on the band's edge
    // is in when the line crosses the pixel at its top, and the browser's
    // fixed-point edges do not say otherwise.
    const half = c.lineWidth / 2, nudge = 1 / 16;
    const start = v(a) - slope / 2 + nudge, end = v(b) + slope / 2 + nudge;
    const corners = [[u(a), start - half], [u(b) + 1, end - half], [u(b) + 1, end + half], [u(a), start + half]];
    return corners.map((p) => steep ? [p[1], p[0]] : p);
  }

  // An SVG picture of the control's box holding one shape.
  function svg(c, shape, attributes) {
    const el = document.createElementNS(svgns, 'svg');
    el.setAttribute('width', c.width);
    el.setAttribute('height', c.height);
    el.setAttribute('aria-hidden', 'true');
    const child = document.createElementNS(svgns, shape);
    for (const name in attributes)
      child.setAttribute(name, attributes[name]);
    el.append(child);
    return el;
  }

  function draw(c) {
    let el;
    switch (c.kind) {
    case 'label': {
      el = document.createElement('div');
      el.className = 'label';
      const text = document.createElement('span');
      text.textContent = c.caption;
      el.append(text);
      el.style.font = font(c);
      el.style.color = hex(c.fore);
      if (!c.transparent)
        el.style.background = hex(c.back);
      if (c.alert)
        el.dataset.alert = '';
      break;
    }
    case 'button':
      el = document.createElement('button');
      el.type = 'button';
      el.textContent = c.caption;
      el.style.font = font(c);
      if (c.press)
        el.dataset.press = '';
      break;
    case 'image': {
      el = document.createElement('img');
      const file = c.picture.replace(/\.bmp$/i, '');
      el.src = file + '.png';
      el.srcset = `${file}.png 1x, ${file}@2x.png 2x`;
      el.alt = '';
      el.width = c.width;
      el.height = c.height;
      break;
    }
    case 'shape': {
      // The border lies inside the box.
      const inset = c.lineWidth / 2;
      el = svg(c, 'rect', {x: inset, y: inset, width: c.width - c.lineWidth, height: c.height - c.lineWidth,
                           fill: hex(c.back), stroke: hex(c.fore), 'stroke-width': c.lineWidth});
      break;
    }
    case 'line':
      el = svg(c, 'polygon', {points: band(c).map((p) => (p[0] - c.x) + ',' + (p[1] - c.y)).join(' '),
                              fill: hex(c.fore)});
      break;
    }
    return el;
  }

  function window_(id, d) {
    const el = document.createElement('section');
    el.className = d.titled ? 'window titled' : 'window';
    el.dataset.form = d.name;
    el.hidden = true;
    el.setAttribute('aria-label', d.caption);
    const client = document.createElement('div');
    client.dataset.client = '';
    Object.assign(client.style, {width: px(d.width), height: px(d.height), background: hex(d.background)});
    el.append(client);
    document.querySelector('main').append(el);
    windows[id] = {id, el, client, design: d, bar: null, menus: [], controls: [], visible: false, size: null};
  }

  function menu(id, index, m) {
    const w = windows[id];
    let el;
    if (m.parent < 0) {
      if (!w.bar) {
        w.bar = document.createElement('div');
        w.bar.setAttribute('role', 'menubar');
        w.bar.setAttribute('aria-label', w.design.caption);
        w.el.insertBefore(w.bar, w.client);
      }
      // A menu opened from the bar lies inside the bar item's wrapper.
      const holder = document.createElement('div');
      holder.setAttribute('role', 'none');
      el = document.createElement('button');
      el.type = 'button';
      el.setAttribute('role', 'menuitem');
      el.tabIndex = w.bar.childElementCount ? -1 : 0;
      holder.append(el);
      if (m.opens) {
        el.setAttribute('aria-haspopup', 'menu');
        el.setAttribute('aria-expanded', 'false');
        el.popup = document.createElement('div');
        el.popup.setAttribute('role', 'menu');
        el.popup.setAttribute('aria-label', m.caption);
        el.popup.hidden = true;
        holder.append(el.popup);
      }
      w.bar.append(holder);
    } else {
      el = document.createElement('div');
      el.setAttribute('role', 'menuitemradio');
      el.setAttribute('aria-checked', 'false');
      el.tabIndex = -1;
      w.menus[m.parent].popup.append(el);
    }
    el.dataset.menu = m.name;
    el.textContent = m.caption;
    el.zibTarget = {id, kind: menuItem, index};
    w.menus[index] = el;
  }

  function control(id, index, c) {
    const w = windows[id];
    const el = draw(c);
    el.dataset.control = c.name;
    place(el, c);
    if (c.kind === 'button')
      el.zibTarget = {id, kind: button, index};
    w.client.append(el);
    w.controls[index] = el;
  }

  function state(id, index, visible, enabled) {
    const el = windows[id].controls[index];
    const name = el.dataset.control;
    if ((el.style.display !== 'none') !== visible) {
      el.style.display = visible ? '' : 'none';
      note(visible ? 'shown' : 'hidden', name);
      if (visible && 'alert' in el.dataset)
        say(el.textContent);
    }
    if (el.localName === 'button' && el.disabled === enabled) {
      // A button losing the focus hands it on to the next one that can take
      // it, as on the desktop, rather than to nothing: once the page is up
      // to date, so that a button enabled by the same event (Start, as Stop
      // goes) counts.
      const hadFocus = !enabled && document.activeElement === el;
      el.disabled = !enabled;
      note(enabled ? 'enabled' : 'disabled', name);
      if (hadFocus)
        queueMicrotask(() => {
          const now = document.activeElement;
          const next = (!now || now === document.body || now === el) && nextButton(el);
          if (next)
            next.focus();
        });
    }
  }

  function nextButton(from) {
    const buttons = [...from.parentElement.querySelectorAll('button')];
    const at = buttons.indexOf(from);
    for (let i = 1; i < buttons.length; ++i) {
      const b = buttons[(at + i) % buttons.length];
      if (!b.disabled && b.style.display !== 'none')
        return b;
    }
    return null;
  }

  function check(id, index, checked, enabled) {
    const el = windows[id].menus[index];
    const name = el.dataset.menu;
    if (el.getAttribute('role') === 'menuitemradio' && (el.getAttribute('aria-checked') === 'true') !== checked) {
      el.setAttribute('aria-checked', checked);
      note(checked ? 'checked' : 'unchecked', name);
    }
    if (enabled)
      el.removeAttribute('aria-disabled');
    else
      el.setAttribute('aria-disabled', 'true');
  }

  function show(id, visible, name) {
    const w = windows[id];
    w.visible = visible;
    if (!visible) {
      // The window takes its focus with it, and gets it back when shown
      // again, as a window on the desktop does.
      w.focus = w.el.contains(document.activeElement) ? document.activeElement : null;
      closeMenus();
    }
    w.el.hidden = !visible;
    note(visible ? 'shown' : 'hidden', w.design.name);
    if (!visible)
      return;
    const focus = w.focus;
    w.focus = null;
    if (focus && focus.isConnected && (!document.activeElement || document.activeElement === document.body)) {
      const next = focus.disabled ? nextButton(focus) : focus;
      if (next)
        next.focus();
    }
    w.el.setAttribute('aria-label', name);
    if (w.design.inTaskbar && w.design.caption)
      document.title = w.design.caption;
    // A screen reader announces a window that comes up on the desktop; here
    // a window with no title bar, a result, is said aloud.
    if (!w.design.titled)
      say(name);
    if (!w.size)
      w.size = [w.el.offsetWidth, w.el.offsetHeight];
    layout();
    // The page may hold this window's first frame, drawn by the build: it
    // goes in the frame that shows the window itself, looking the same.
    const first = w.design.titled && document.querySelector('[data-first]');
    if (first)
      first.remove();
    if (!zib.ready && w.design.titled)
      requestAnimationFrame((time) => {
        zib.firstFrameAt = time;
        soon(() => {
          zib.ready = true;
          keepOffline();
        });
      });
  }

  // The live region says a message again even when it is the one said last:
  // emptied first, it changes.
  function say(text) {
    const region = document.querySelector('[data-announce]');
    region.textContent = '';
    requestAnimationFrame(() => { region.textContent = text; });
  }

  function ended() {
    disarm();
    zib.ended = true;
    for (const w of windows)
      if (w)
        w.el.remove();
    windows.length = 0;
    const notice = document.querySelector('[data-ended]');
    notice.hidden = false;
    notice.querySelector('[data-restart]').focus();
  }

  // -- Input ----------------------------------------------------------------

  // Input counts when the browser stamped it, however late it reaches us.
  const closest = (e, selector) => e.target instanceof Element ? e.target.closest(selector) : null;

  function send(el, e) {
    const t = el.zibTarget;
    call('input', t.id, t.kind, t.index, e.timeStamp);
    afterInput();
  }

  function visibleWindow() {
    return windows.find((w) => w && w.visible);
  }

  // Space, Enter and Escape in a window, outside the menus, are the game's
  // always: the browser never presses the focused button on them. Which
  // button they press, if any, the runtime decides at the key's moment. An
  // open menu closes on Escape first.
  function gameKey(e) {
    const key = keys[e.key];
    if (key === undefined || closest(e, '[role="menubar"]'))
      return false;
    const section = closest(e, '[data-form]');
    const w = section ? windows.find((w) => w && w.el === section) : visibleWindow();
    if (!w || !w.visible)
      return false;
    e.preventDefault();
    if (document.querySelector('[aria-expanded="true"]')) {
      closeMenus();
      if (key === keys.Escape)
        return true;
    }
    const t = document.activeElement && document.activeElement.zibTarget;
    const focused = t && t.id === w.id && t.kind === button ? t.index : -1;
    call('key', w.id, key, e.ctrlKey || e.altKey || e.metaKey, e.repeat, focused, e.timeStamp);
    afterInput();
    return true;
  }

  function closeMenus() {
    for (const opener of document.querySelectorAll('[aria-expanded="true"]')) {
      opener.setAttribute('aria-expanded', 'false');
      opener.popup.hidden = true;
    }
  }

  function open(opener, focus) {
    closeMenus();
    opener.popup.toggleAttribute('data-touch', lastPointer === 'touch');
    opener.setAttribute('aria-expanded', 'true');
    opener.popup.hidden = false;
    const items = [...opener.popup.children];
    if (focus)
      (focus === 'last' ? items[items.length - 1] : items[0]).focus();
  }

  function barItems(el) {
    return [...el.closest('[role="menubar"]').querySelectorAll(':scope > [role="none"] > [role="menuitem"]')];
  }

  // Moves along the menu bar, keeping the one item the Tab key reaches the
  // one last used; a menu that was open opens on the item reached.
  function moveOnBar(from, step, reopen) {
    const items = barItems(from);
    const to = items[(items.indexOf(from) + step + items.length) % items.length];
    for (const item of items)
      item.tabIndex = item === to ? 0 : -1;
    closeMenus();
    to.focus();
    if (reopen && to.popup)
      open(to, 'first');
  }

  function menuKey(e, item) {
    const inMenu = item.getAttribute('role') === 'menuitemradio';
    const opener = inMenu ? item.closest('[role="none"]').firstElementChild : item;
    const key = e.key;
    if (!inMenu) {
      if (key === 'ArrowRight' || key === 'ArrowLeft')
        moveOnBar(item, key === 'ArrowRight' ? 1 : -1, false);
      else if ((key === 'ArrowDown' || key === 'ArrowUp') && item.popup)
        open(item, key === 'ArrowDown' ? 'first' : 'last');
      else if (key === 'Home' || key === 'End')
        moveOnBar(barItems(item)[0], key === 'Home' ? 0 : -1, false);
      else if (key === 'Escape' && item.getAttribute('aria-expanded') !== 'true') {
        if (beforeMenu && beforeMenu.isConnected)
          beforeMenu.focus();
        else
          item.blur();
      } else if (key === 'Escape')
        closeMenus();
      else
        return;
    } else {
      const items = [...item.parentElement.children];
      const at = items.indexOf(item);
      if (key === 'ArrowDown' || key === 'ArrowUp')
        items[(at + (key === 'ArrowDown' ? 1 : -1) + items.length) % items.length].focus();
      else if (key === 'Home' || key === 'End')
        items[key === 'Home' ? 0 : items.length - 1].focus();
      else if (key === 'Escape') {
        closeMenus();
        opener.focus();
      } else if (key === 'ArrowRight' || key === 'ArrowLeft')
        moveOnBar(opener, key === 'ArrowRight' ? 1 : -1, true);
      else if (key === 'Enter' || key === ' ') {
        send(item, e);
        closeMenus();
        opener.focus();
      } else if (key === 'Tab') {
        closeMenus();
        return;
      } else
        return;
    }
    e.preventDefault();
  }

  function listen() {
    addEventListener('pointerdown', (e) => {
      lastPointer = e.pointerType;
      if (!closest(e, '[role="menubar"]'))
        closeMenus();
      // ZIB! counts at the press, mouse or touch, as on the desktop. A
      // button still disabled on the page may already be enabled at the
      // moment of the press: the driver decides.
      const b = e.isPrimary && e.button === 0 && closest(e, 'button[data-press]');
      if (b)
        send(b, e);
    });
    addEventListener('click', (e) => {
      const b = closest(e, 'button[data-control]');
      if (b && !('press' in b.dataset))
        send(b, e);
      const m = closest(e, '[data-menu]');
      if (!m || m.getAttribute('aria-disabled') === 'true')
        return;
      if (m.popup) {
        if (m.getAttribute('aria-expanded') === 'true')
          closeMenus();
        else
          open(m, e.detail === 0 ? 'first' : null);  // from the keyboard: into the menu
        return;
      }
      send(m, e);
      closeMenus();
    });
    addEventListener('keydown', (e) => {
      if (!started || zib.ended || gameKey(e))
        return;
      const plain = !e.altKey && !e.ctrlKey && !e.metaKey && !e.shiftKey;
      if (e.key === 'F10' && plain) {
        const w = visibleWindow();
        const first = w && w.bar && w.bar.querySelector('[role="menuitem"][tabindex="0"]');
        if (first) {
          e.preventDefault();
          if (!first.closest('[role="menubar"]').contains(document.activeElement))
            beforeMenu = document.activeElement;
          first.focus();
        }
        return;
      }
      const item = closest(e, '[data-menu]');
      if (item)
        menuKey(e, item);
    });
    addEventListener('contextmenu', (e) => {
      if (closest(e, '[data-form]'))
        e.preventDefault();
    });
    addEventListener('resize', layout);
    // A hidden page's timers are slowed to about once a second, which would
    // time a duel wrong: hiding the page stops a duel as the Stop key does,
    // at the moment it was hidden, and the game waits idle for the player.
    addEventListener('visibilitychange', (e) => {
      const w = visibleWindow();
      if (document.visibilityState === 'hidden' && w && started && !zib.ended)
        call('key', w.id, keys.Escape, false, false, -1, e.timeStamp);
    });
    // Closing the page ends the game at once. Should the browser bring the
    // page back from its cache, it says the game has ended.
    addEventListener('pagehide', () => call('close'));
    document.querySelector('[data-restart]').addEventListener('click', () => location.reload());
  }

  // Nothing is shown before the fonts and pictures the page preloads are
  // ready, so that the first frame is the window as it is meant to look.
  // They load while the wasm file does. A font names the family it stands
  // in for, and its weight.
  const loading = [];
  for (const link of document.querySelectorAll('link[rel="preload"][as="font"][data-family]')) {
    const face = new FontFace(link.dataset.family, `url("${link.href}")`,
                              {weight: link.dataset.weight || 'normal', display: 'block'});
    document.fonts.add(face);
    loading.push(face.load());
  }
  for (const link of document.querySelectorAll('link[rel="preload"][as="image"]')) {
    const img = new Image();
    img.srcset = link.getAttribute('imagesrcset') || '';
    img.src = link.href;
    loading.push(img.decode());
  }

  function prepare() {
    addRunDependency('page');
    Promise.all(loading).catch(() => {}).then(() => removeRunDependency('page'));
  }

  // Once the game is on screen, the service worker keeps all of it for
  // offline play.
  // A new build's worker is let in only while the program waits for nothing
  // but the player (no timer armed: no duel under way, no window about to
  // come or go), and the page then loads afresh from it, so that what runs
  // is one build whole.
  let update = null;
  function keepOffline() {
    if (!('serviceWorker' in navigator))
      return;
    const workers = navigator.serviceWorker;
    let serving = workers.controller;
    workers.addEventListener('controllerchange', () => {
      if (serving)
        location.reload();
      serving = workers.controller;
    });
    workers.register('sw.js', {updateViaCache: 'none'}).then((r) => {
      const found = () => {
        if (r.waiting && workers.controller) {
          update = r.waiting;
          takeOver();
        }
      };
      r.addEventListener('updatefound', () => r.installing.addEventListener('statechange', found));
      found();
      return workers.ready;
    }).then(() => { zib.offline = true; }, () => {});
  }

  function takeOver() {
    if (update && !armed && !zib.ended) {
      update.postMessage('take over');
      update = null;
    }
  }

  Module.preRun = [prepare];

  return {
    start(epoch) {
      zib.epoch = epoch;
      started = true;
      listen();
    },
    window: window_, menu, control, ink, state, check, show, arm, event, ended,
  };
})();
