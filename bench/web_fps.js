// The browser side of bench/web_vs_native.py: frames per second of the page on its
// title and in a BOT match and its time from navigation to the first drawn frame.
// Prints one JSON object.
//   node web_fps.js <page url> <seconds per measurement>
'use strict';
const puppeteer = require('../tests/web/node_modules/puppeteer-core');
const [url, seconds] = [process.argv[2], Number(process.argv[3] || 10)];

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox', '--window-size=1280,720'],
  });
  const page = await browser.newPage();
  await page.setViewport({width: 1280, height: 720});
  // Every animation frame the game draws is one of these callbacks' ends.
  await page.evaluateOnNewDocument(() => {
    const real = window.requestAnimationFrame.bind(window);
    window.__frames = [];
    window.requestAnimationFrame = cb => real(t => { cb(t); window.__frames.push(performance.now()); });
  });
  await page.goto(url, {waitUntil: 'load'});
  await page.waitForFunction(() => window.__frames.length > 0 && typeof Module !== 'undefined' && Module.calledRun,
                             {timeout: 120000});
  const first = await page.evaluate(() => window.__frames[0]);
  const rate = async () => {
    const a = await page.evaluate(() => window.__frames.length);
    await new Promise(r => setTimeout(r, seconds * 1000));
    const b = await page.evaluate(() => window.__frames.length);
    return (b - a) / seconds;
  };
  await new Promise(r => setTimeout(r, 3000));
  const title = await rate();
  const click = async (x, y) => {
    await page.mouse.move(x, y);
    await page.mouse.down();
    await new Promise(r => setTimeout(r, 150));
    await page.mouse.up();
    await new Promise(r => setTimeout(r, 1500));
  };
  await click(175, 287);  // PLAY
  await click(175, 487);  // BOT
  await page.mouse.move(700, 650);
  await page.keyboard.down('Space');
  await new Promise(r => setTimeout(r, 1500));
  await page.keyboard.up('Space');
  await page.keyboard.down('KeyD');  // keep moving: a busy match
  const match = await rate();
  await page.keyboard.up('KeyD');
  console.log(JSON.stringify({title_fps: title, match_fps: match, first_frame_ms: first}));
  await browser.close();
})();
