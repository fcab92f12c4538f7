// The browser build played in Debian's chromium, headless on SwiftShader, as a player
// would: the title, PLAY, BOT and Space start a match with both lives lines, Escape
// pauses it, a setting changed in the page is still there after a reload, the first
// click starts the sound, a recorded match served beside the page plays from ?replay=,
// and nothing is reported on the console. Writes the title's
// canvas to <out>/web_title.png for the comparison with the desktop build.
//   node browser_test.js <page url> <out folder>
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const puppeteer = require('puppeteer-core');

const [url, out] = process.argv.slice(2);
const W = 1280, H = 720;
const TIMEOUT = 120000;          // a step on a loaded 2-core machine, software rendering
const BUTTON_FACE = [255, 224, 138];  // the style's button colour
const HUD_BLUE = [0, 121, 241];       // join prompts and lives lines
const MUSIC_BOX_TOP = 340;
const DEFAULTS = 'screen_width=1280\r\nscreen_height=720\r\nfullscreen=false\r\nvsync=true\r\n' +
                 'enable_music=true\r\nenable_sound_effects=true\r\ngame_speed=1e0\r\n';

// A PNG as puppeteer writes it (8-bit RGB or RGBA, not interlaced).
function decodePng(buf) {
  const w = buf.readUInt32BE(16), h = buf.readUInt32BE(20), type = buf[25];
  const bpp = type === 6 ? 4 : 3;
  const chunks = [];
  for (let at = 8; at < buf.length;) {
    const len = buf.readUInt32BE(at), kind = buf.toString('ascii', at + 4, at + 8);
    if (kind === 'IDAT') chunks.push(buf.subarray(at + 8, at + 8 + len));
    at += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(chunks));
  const px = Buffer.alloc(w * h * bpp), stride = w * bpp;
  for (let y = 0; y < h; y++) {
    const f = raw[y * (stride + 1)], row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const a = i >= bpp ? px[y * stride + i - bpp] : 0, b = y > 0 ? px[(y - 1) * stride + i] : 0;
      const c = i >= bpp && y > 0 ? px[(y - 1) * stride + i - bpp] : 0;
      let v = row[i];
      if (f === 1) v += a;
      else if (f === 2) v += b;
      else if (f === 3) v += (a + b) >> 1;
      else if (f === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      px[y * stride + i] = v & 255;
    }
  }
  return {w, h, px: (x, y) => [px[(y * w + x) * bpp], px[(y * w + x) * bpp + 1], px[(y * w + x) * bpp + 2]]};
}

const close = (c, ref, tol) => Math.abs(c[0] - ref[0]) <= tol && Math.abs(c[1] - ref[1]) <= tol &&
                               Math.abs(c[2] - ref[2]) <= tol;
// Pixels of two shots that differ and by how much at most, the FPS counter left out.
const KEPT_TOLERANCE = 2;
function differences(a, b) {
  let count = 0, max = 0;
  for (let y = 0; y < a.h; y++)
    for (let x = 0; x < a.w; x++) {
      if (x >= a.w - 120 && y < 24) continue;
      const p = a.px(x, y), q = b.px(x, y);
      const m = Math.max(Math.abs(p[0] - q[0]), Math.abs(p[1] - q[1]), Math.abs(p[2] - q[2]));
      if (m > 0) count++;
      max = Math.max(max, m);
    }
  return {count, max};
}

// A button's face fills the row just inside its top border.
function buttonAt(s, top) {
  let hits = 0, n = 0;
  for (let x = 60; x < 290; x += 2, n++) if (close(s.px(x, top + 7), BUTTON_FACE, 12)) hits++;
  return hits / n > 0.8;
}
const buttonsShown = s => [250, 350, 450, 550].filter(top => buttonAt(s, top));
// The settings column: CONTROLS and BACK below the check boxes.
const settingsShown = s => buttonAt(s, 430) && buttonAt(s, 530) && !buttonAt(s, 250);
// A standard-mapping pad put in place of the browser's before the page loads. The game
// reads navigator.getGamepads() once a frame; a tap holds a button for two of those
// reads and leaves it up for two, so no press is lost or merged at any frame rate.
function fakePad() {
  const buttons = Array.from({length: 17}, () => ({pressed: false, touched: false, value: 0}));
  const pad = {id: 'test pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard',
               timestamp: 0, axes: [0, 0, 0, 0], buttons};
  const queue = [];
  let held = -1, left = 0;
  window.vorbelPadTap = b => queue.push(b);
  window.vorbelPadIdle = () => queue.length === 0 && held < 0 && left === 0;
  navigator.getGamepads = () => {
    if (left > 0 && --left === 0 && held >= 0) {
      buttons[held].pressed = false;
      buttons[held].value = 0;
      held = -1;
      left = 2;
    } else if (left === 0 && queue.length > 0) {
      held = queue.shift();
      buttons[held].pressed = true;
      buttons[held].value = 1;
      left = 2;
    }
    pad.timestamp = performance.now();
    return [pad, null, null, null];
  };
}
const PAD_A = 0, PAD_DOWN = 13;
// Right end of the blue HUD text on line `row` (0 or 1); -1 when there is none.
function hudLine(s, row) {
  let right = -1;
  for (let y = 30 * row; y < 30 * row + 20; y++)
    for (let x = 0; x < 400; x++) if (close(s.px(x, y), HUD_BLUE, 24)) right = Math.max(right, x);
  return right;
}
// The MUSIC box's middle: its fill when ticked, the page behind it when not.
const boxMiddle = s => s.px(60, MUSIC_BOX_TOP + 10);

let failures = 0;
function expect(ok, what) {
  if (!ok) failures++;
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    // A fresh profile each run: the stored settings start empty.
    userDataDir: fs.mkdtempSync('/tmp/vorbel-chromium-'),
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
           '--autoplay-policy=user-gesture-required', `--window-size=${W},${H}`],
  });
  const errors = [];
  const settingsLines = [];
  const onlineLines = [];
  let page;
  const shot = async () => decodePng(Buffer.from(await (await page.$('#canvas')).screenshot()));
  const waitShot = async (pred, what, timeout = TIMEOUT) => {
    const until = Date.now() + timeout;
    for (;;) {
      const s = await shot();
      if (pred(s)) return s;
      if (Date.now() > until) throw new Error('timed out waiting for ' + what);
      await new Promise(r => setTimeout(r, 250));
    }
  };
  const open = async () => {
    page = await browser.newPage();
    await page.setViewport({width: W, height: H});
    // A shader that WebGL 2 refuses falls back with a WARNING: every one must load.
    page.on('console', m => {
      // A plain file server answers the page's WebSocket with a page: the browser says so.
      const refused = /WebSocket connection to .* failed/.test(m.text());
      if ((m.type() === 'error' && !refused) || /WARNING: SHADER/.test(m.text())) errors.push(m.text());
      if (/ONLINE/.test(m.text())) onlineLines.push(m.text());
      if (/SETTINGS/.test(m.text())) settingsLines.push(m.text());
    });
    page.on('pageerror', e => errors.push(e.message));
    await page.goto(url, {waitUntil: 'load'});
    return waitShot(s => buttonsShown(s).join() === '250,350,450', 'the title page');
  };
  const click = async (x, y) => {
    await page.mouse.move(x, y);
    await page.mouse.down();
    await new Promise(r => setTimeout(r, 150));
    await page.mouse.up();
    // Off the buttons, which change colour under the pointer, once the game has seen the
    // release where it happened (a few frames at software rendering's pace).
    await new Promise(r => setTimeout(r, 600));
    await page.mouse.move(700, 650);
  };
  const audioState = () => page.evaluate(() => Module.vorbelAudio ? Module.vorbelAudio.state : 'none');
  try {
    const title = await open();
    expect(true, 'the title page appears');
    expect(await page.title() === 'vorbel', 'the tab is called vorbel');
    fs.writeFileSync(path.join(out, 'web_title.png'), await (await page.$('#canvas')).screenshot());
    // Headless chromium lets a page start its sound unasked; a browser that does not
    // leaves it suspended, as it is made here, until the first click.
    await page.evaluate(() => Module.vorbelAudio && Module.vorbelAudio.suspend());
    const before = await audioState();
    expect(before === 'suspended', 'sound is held before the first click (' + before + ')');

    await click(175, 287);  // PLAY
    await waitShot(s => buttonsShown(s).length === 4, 'the play page');
    await page.waitForFunction(() => Module.vorbelAudio && Module.vorbelAudio.state === 'running',
                               {timeout: 10000}).catch(() => {});
    expect(await audioState() === 'running', 'the AudioContext runs after the first click');

    // Served by a plain file server, not vorbel-server: ONLINE says why it is off, with BACK.
    await click(175, 387);  // ONLINE
    const offBy = Date.now() + 20000;
    while (!onlineLines.some(l => /online play is off/.test(l)) && Date.now() < offBy) {
      await new Promise(r => setTimeout(r, 200));
    }
    expect(onlineLines.some(l => /online play is off: this page's server does not carry games/.test(l)),
           'ONLINE from a plain file server says why online play is off (' + onlineLines.join(' | ') + ')');
    await click(175, 287);  // BACK, alone on the page
    await waitShot(s => buttonsShown(s).join() === '250,350,450', 'the title page after BACK');
    await click(175, 287);  // PLAY again
    await waitShot(s => buttonsShown(s).length === 4, 'the play page');

    await click(175, 487);  // BOT
    const joining = await waitShot(s => buttonsShown(s).length === 0 && hudLine(s, 0) > 0, 'the match to open');
    const prompt = hudLine(joining, 0);
    await page.keyboard.down('Space');
    const playing = await waitShot(s => hudLine(s, 0) > 0 && hudLine(s, 0) < prompt - 20 && hudLine(s, 1) > 0,
                                   'both lives lines after Space');
    await page.keyboard.up('Space');
    expect(Math.abs(hudLine(playing, 0) - hudLine(playing, 1)) <= 8, 'the two lives lines are alike');

    // A key held while the page loses the focus, or is hidden, has its release go
    // elsewhere: the page lets go of it then, so the next press is a press again. Here
    // Escape pauses, the page loses the focus with Escape still held, and the next
    // Escape must resume.
    const paused = s => buttonsShown(s).join() === '250,350,450';
    const resumed = s => buttonsShown(s).length === 0 && hudLine(s, 0) > 0;
    const leaves = {
      'loses the focus': () => window.dispatchEvent(new FocusEvent('blur')),
      'is hidden': () => {
        Object.defineProperty(document, 'hidden', {value: true, configurable: true});
        Object.defineProperty(document, 'visibilityState', {value: 'hidden', configurable: true});
        document.dispatchEvent(new Event('visibilitychange'));
        delete document.hidden;
        delete document.visibilityState;
      },
    };
    for (const [how, leave] of Object.entries(leaves)) {
      await page.keyboard.down('Escape');  // no release reaches the page
      await waitShot(paused, 'the pause page after Escape');
      await page.evaluate(leave);
      await new Promise(r => setTimeout(r, 500));
      await page.keyboard.down('Escape');
      const back = await waitShot(resumed, 'the match after Escape', 20000).then(() => true, () => false);
      expect(back, 'a key held while the page ' + how + ' is released: the next Escape resumes');
      await page.keyboard.up('Escape');
      if (!back) throw new Error('Escape stuck after the page ' + how);
    }

    await page.keyboard.press('Escape');
    await waitShot(paused, 'the pause page after Escape');
    expect(true, 'Escape pauses the match (not in fullscreen)');

    // The kept 3D layer, built up over the match from the parts that changed, against a
    // whole redraw of the same resting scene. The layer reaches the screen as resolved
    // colours, so a pixel may differ where translucent 2D lies over it (rounding) or a
    // 2D edge crosses a 3D one: at most KEPT_TOLERANCE per channel.
    const frames = n => page.evaluate(k => new Promise(done => {
      const step = () => (k-- > 0 ? requestAnimationFrame(step) : done());
      step();
    }), n);
    let keptShot = await shot();
    for (const until = Date.now() + 30000; Date.now() < until;) {
      await frames(3);
      const next = await shot();
      const same = differences(keptShot, next).count === 0;
      keptShot = next;
      if (same) break;
    }
    await page.evaluate(() => Module._vorbel_full_redraw(1));
    await frames(3);
    const wholeShot = await shot();
    await page.evaluate(() => Module._vorbel_full_redraw(0));
    const d = differences(keptShot, wholeShot);
    expect(d.max <= KEPT_TOLERANCE, `the kept 3D layer gives the whole redraw's pixels (${d.count} differ, ` +
                                     `by at most ${d.max}; tolerance ${KEPT_TOLERANCE})`);

    await click(175, 387);  // SETTINGS on the pause page
    const settings = await waitShot(settingsShown, 'the pause settings page');
    const ticked = boxMiddle(settings);
    await click(60, MUSIC_BOX_TOP + 10);
    await waitShot(s => !close(boxMiddle(s), ticked, 12), 'MUSIC to be switched off');
    // IndexedDB is written after the frame: the file must arrive there as it is on disk.
    const expected = DEFAULTS.replace('enable_music=true', 'enable_music=false');
    const stored = async () => page.evaluate(() => new Promise(done => {
      const req = indexedDB.open('/save');
      req.onerror = () => done(null);
      req.onsuccess = () => {
        const get = req.result.transaction('FILE_DATA').objectStore('FILE_DATA').get('/save/settings.cfg');
        get.onsuccess = () => done(get.result && get.result.contents ?
                                   String.fromCharCode(...get.result.contents) : null);
        get.onerror = () => done(null);
      };
    }));
    const until = Date.now() + 10000;
    let text = await stored();
    while (text !== expected && Date.now() < until) {
      await new Promise(r => setTimeout(r, 200));
      text = await stored();
    }
    expect(text === expected, 'settings.cfg is stored in IndexedDB in its own format (' +
                              JSON.stringify(text) + ')');

    await page.close();
    await open();
    await click(175, 387);  // SETTINGS on the title page
    const reloaded = await waitShot(settingsShown, 'the title settings page after a reload');
    expect(!close(boxMiddle(reloaded), ticked, 12), 'MUSIC is still off after a reload');

    // A damaged record in the browser's store is kept aside like a damaged file: the
    // defaults load, the first save writes a real file beside it, and it persists.
    const damaged = [
      ['a directory record', {mode: 0o40755}, 'NotAFile'],
      ['100 NUL bytes', {mode: 0o100644, contents: new Array(100).fill(0)}, 'binary'],
    ];
    for (const [what, record, reason] of damaged) {
      await page.evaluate(rec => new Promise(done => {
        const req = indexedDB.open('/save');
        req.onsuccess = () => {
          const tx = req.result.transaction('FILE_DATA', 'readwrite');
          const store = tx.objectStore('FILE_DATA');
          store.delete('/save/settings.cfg.bad');
          store.put(Object.assign({timestamp: new Date(0)}, rec.contents ? {mode: rec.mode,
                    contents: new Uint8Array(rec.contents)} : {mode: rec.mode}), '/save/settings.cfg');
          tx.oncomplete = () => done();
        };
      }), record);
      await page.close();
      settingsLines.length = 0;
      await open();
      expect(settingsLines.some(l => l.includes(reason) && l.includes('settings.cfg.bad')),
             what + ': the log says the stored file is damaged and will be kept (' + settingsLines.join(' | ') + ')');
      await click(175, 387);  // SETTINGS
      const fresh = await waitShot(settingsShown, what + ': the title settings page');
      expect(close(boxMiddle(fresh), ticked, 12), what + ': MUSIC is back at its default, on');
      await click(60, MUSIC_BOX_TOP + 10);
      await waitShot(s => !close(boxMiddle(s), ticked, 12), what + ': MUSIC to be switched off');
      const kept = async () => page.evaluate(() => new Promise(done => {
        const req = indexedDB.open('/save');
        req.onsuccess = () => {
          const get = req.result.transaction('FILE_DATA').objectStore('FILE_DATA').get('/save/settings.cfg.bad');
          get.onsuccess = () => done(get.result ? get.result.mode : null);
        };
      }));
      const stop = Date.now() + 10000;
      while ((await stored()) !== expected && Date.now() < stop) await new Promise(r => setTimeout(r, 200));
      expect(await stored() === expected, what + ': a real settings.cfg is stored');
      expect(await kept() === record.mode, what + ': the damaged record is kept as settings.cfg.bad');
      expect(settingsLines.some(l => l.includes('is kept as /save/settings.cfg.bad')), what + ': the log says so');
      await page.close();
      await open();
      await click(175, 387);
      const after = await waitShot(settingsShown, what + ': the settings page after a reload');
      expect(!close(boxMiddle(after), ticked, 12), what + ': MUSIC is still off after a reload');
    }

    // A pad alone, the mouse never touched: PLAY, BOT, and A joins player 1.
    await page.close();
    page = await browser.newPage();
    await page.evaluateOnNewDocument(fakePad);
    await page.setViewport({width: W, height: H});
    page.on('pageerror', e => errors.push(e.message));
    await page.goto(url, {waitUntil: 'load'});
    await waitShot(s => buttonsShown(s).join() === '250,350,450', 'the title page with a pad');
    const tap = async button => {
      await page.evaluate(b => window.vorbelPadTap(b), button);
      await page.waitForFunction(() => window.vorbelPadIdle(), {timeout: TIMEOUT});
    };
    await tap(PAD_A);
    await waitShot(s => buttonsShown(s).length === 4, 'the play page after A');
    await tap(PAD_DOWN);
    await tap(PAD_DOWN);
    await tap(PAD_A);
    const padJoining = await waitShot(s => buttonsShown(s).length === 0 && hudLine(s, 0) > 0 && hudLine(s, 1) < 0,
                                      'the BOT match, player 1 not joined by the menu\'s A');
    await tap(PAD_A);
    await waitShot(s => hudLine(s, 0) > 0 && hudLine(s, 0) < hudLine(padJoining, 0) - 20 && hudLine(s, 1) > 0,
                   'both lives lines after the pad\'s A');
    expect(true, 'a pad alone goes from the title to a BOT match');

    // ?replay=URL: a recorded match served beside the page plays at once, with the HUD
    // and the replay line; a file that is not there leaves the title with the reason.
    for (const [file, plays] of [['bot.vreplay', true], ['missing.vreplay', false]]) {
      await page.close();
      page = await browser.newPage();
      await page.setViewport({width: W, height: H});
      const lines = [];
      page.on('console', m => { if (/REPLAY/.test(m.text())) lines.push(m.text()); });
      page.on('pageerror', e => errors.push(e.message));
      await page.goto(url + '?replay=' + file, {waitUntil: 'load'});
      if (plays) {
        await waitShot(s => hudLine(s, 0) > 0 && hudLine(s, 1) > 0, 'the replayed BOT match with both lives lines');
        expect(lines.some(l => l.includes('REPLAY: playing')), '?replay= plays a served replay');
      } else {
        await waitShot(s => buttonsShown(s).join() === '250,350,450', 'the title page after a missing replay');
        expect(lines.some(l => l.includes('cannot be read')), '?replay= of a missing file says so and shows the title');
      }
    }
  } catch (e) {
    expect(false, e.message);
    if (page) await page.screenshot({path: path.join(out, 'web_failure.png')}).catch(() => {});
  }
  expect(errors.length === 0, 'no errors on the console and every shader loaded' + (errors.length ? ': ' + errors.join(' | ') : ''));
  await browser.close();
  process.exit(failures === 0 ? 0 : 1);
})();
