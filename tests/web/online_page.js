// One page of an online match, played in its own headless chromium as a player would:
// PLAY, ONLINE, then HOST (printing "CODE <code>" once the room is open) or JOIN with
// the code typed into the box and Enter. In the match it joins with Space; the host
// (player 1) walks its half's diagonal over the armed buttons until "game over", the
// joiner stands still. Prints "OVER <the game's line>" and the round trip it showed.
//   node online_page.js <page url> <out folder> host | join [CODE]
// A joiner without CODE reads it from its standard input once its JOIN page is up, so
// both pages load at once. Speed over looks: the canvas draws at 0.4 of the page's size
// in each direction (software WebGL's frame rate is the test's time), and the host
// plays at game_speed 6, which the joiner takes from it, so the match is short.
'use strict';
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [url, out, role, code] = process.argv.slice(2);
const W = 1280, H = 720;
const SCALE = 0.4;  // devicePixelRatio: the page's layout stays 1280x720
const HOST_SPEED = 6;
const TIMEOUT = 120000;
const started = Date.now();
const mark = what => console.log(`${((Date.now() - started) / 1000).toFixed(1)} s: ${role} ${what}`);
const sleep = ms => new Promise(r => setTimeout(r, ms));
const codeFromInput = () => new Promise(resolve => {
  let text = '';
  process.stdin.on('data', d => {
    text += d;
    if (text.includes('\n')) resolve(text.trim());
  });
});

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    userDataDir: fs.mkdtempSync('/tmp/vorbel-chromium-'),
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox', `--window-size=${W},${H}`],
  });
  const lines = [];
  const page = await browser.newPage();
  await page.setViewport({width: W, height: H, deviceScaleFactor: SCALE});
  // The host's settings.cfg, written into its saved folder once that is read and
  // before the game reads it.
  if (role === 'host') {
    await page.evaluateOnNewDocument(speed => {
      let module;
      Object.defineProperty(window, 'Module', {
        configurable: true,
        get: () => module,
        set: m => {
          module = m;
          m.onRuntimeInitialized = () => {
            m.FS_createDataFile('/save', 'settings.cfg', `game_speed=${speed}\n`, true, true);
            console.log(`TEST: settings.cfg says game_speed=${speed}`);
          };
        },
      });
    }, HOST_SPEED);
  }
  page.on('console', m => lines.push(m.text()));
  page.on('pageerror', e => lines.push('PAGE ERROR ' + e.message));
  const waitLine = async (re, what, timeout = TIMEOUT) => {
    const until = Date.now() + timeout;
    for (;;) {
      const hit = lines.find(l => re.test(l));
      if (hit) return hit;
      if (Date.now() > until) throw new Error('timed out waiting for ' + what);
      await sleep(200);
    }
  };
  const click = async (x, y) => {
    await page.mouse.move(x, y);
    await page.mouse.down();
    await sleep(150);
    await page.mouse.up();
    await sleep(600);
    await page.mouse.move(700, 650);
  };
  const hold = async (keys, ms) => {
    for (const k of keys) await page.keyboard.down(k);
    await sleep(ms);
    for (const k of keys) await page.keyboard.up(k);
  };
  try {
    await page.goto(url, {waitUntil: 'load'});
    await waitLine(/target time per frame/, 'the game to start', 240000);
    mark('started');
    // PLAY, then ONLINE, which opens the page's link to the server it came from; on a
    // loaded machine a click may come before the title takes clicks: then again.
    for (let attempt = 0;; attempt++) {
      await sleep(attempt === 0 ? 500 : 2000);
      await click(175, 287);  // PLAY
      await click(175, 387);  // ONLINE
      const linked = await waitLine(/connected to the server this page came from/, 'the link', 20000)
                         .then(() => true, () => false);
      if (linked) break;
      if (attempt === 4) throw new Error('no link to the server after ONLINE');
      for (let i = 0; i < 3; i++) await page.keyboard.press('Escape');
    }
    mark('linked');
    await sleep(500);
    if (role === 'host') {
      await click(175, 287);  // HOST
      const room = await waitLine(/room code [A-Z]{6}/, 'a room code');
      console.log('CODE ' + room.match(/room code ([A-Z]{6})/)[1]);
    } else {
      await click(175, 387);  // JOIN
      const typed = code || await codeFromInput();
      await click(300, 287);  // the code box
      await page.keyboard.type(typed.toLowerCase(), {delay: 120});  // typed as a player might
      await sleep(500);
      await page.keyboard.press('Enter');
    }
    await waitLine(/ONLINE: the match begins/, 'the match to begin', 300000);
    mark('in the match');
    // Join with Space (the left keys: W A S D move), held for a moment as a player would,
    // twice: a slow frame may miss one. Once joined it is only a jump.
    const join = async () => {
      for (let i = 0; i < 2; i++) {
        await hold(['Space'], 600);
        await sleep(400);
      }
    };
    await join();
    const over = () => lines.some(l => /game over at frame/.test(l));
    if (role === 'host') {
      await hold(['KeyW', 'KeyA'], 1500);
      while (!over()) {
        await hold(['KeyS', 'KeyD'], 2000);
        if (over()) break;
        await hold(['KeyW', 'KeyA'], 2000);
        if (!over()) await join();  // in the corner, where a jump costs nothing
      }
    } else {
      await join();  // once more, then it stands still: a jump would dodge the beams
    }
    const line = await waitLine(/game over at frame/, 'game over', 240000);
    mark('at game over');
    console.log('OVER ' + line);
    await sleep(1000);
  } catch (e) {
    console.log('FAIL ' + e.message);
    fs.mkdirSync(out, {recursive: true});
    fs.writeFileSync(path.join(out, `console-${role}.txt`), lines.join('\n'));
    await page.screenshot({path: path.join(out, `failed-${role}.png`)}).catch(() => {});
    await browser.close();
    process.exit(1);
  }
  fs.mkdirSync(out, {recursive: true});
  fs.writeFileSync(path.join(out, `console-${role}.txt`), lines.join('\n'));
  await browser.close();
})();
