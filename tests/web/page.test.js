// The web page in headless Chromium: it draws the saver's own frames, shows the checker's verdict
// beside each line, and runs full screen with the saver's close rules.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { execFileSync, spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');
const { serveFolder } = require('./local_server');

const root = path.resolve(__dirname, '../..');
const site = process.env.CUBRIX_WEB_DIR || path.join(root, 'build/web');
const tools = process.env.CUBRIX_TOOLS_DIR || path.join(root, 'build/native/tools');
const objects = [path.join(root, 'data/Cube.dat'),
  ...fs.readdirSync(path.join(root, 'data/objects')).map((name) => path.join(root, 'data/objects', name))];
const [width, height] = [151, 97];  // odd sides, so that a row or stride mistake shows
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'cubrix-web-'));
let server, base, browser;

before(async () => {
  let port;
  ({ server, port } = await serveFolder(site));
  base = `http://127.0.0.1:${port}/`;
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
}, { timeout: 30000 });
after(async () => {
  await browser?.close();
  server?.kill();
  fs.rmSync(work, { recursive: true, force: true });
});

// A page that records its console errors and uncaught exceptions.
async function open(url) {
  const page = await browser.newPage();
  page.errors = [];
  page.on('console', (m) => m.type() === 'error' && page.errors.push(m.text()));
  page.on('pageerror', (e) => page.errors.push(e.message));
  await page.goto(url);
  return page;
}

const link = (text, frames) => `${base}?size=${width}x${height}&frames=${frames}#object=${encodeURIComponent(text)}`;

async function heldFrame(page, frames) {
  await page.waitForSelector(`canvas#saver[data-frames="${frames}"]`);
  return Buffer.from(await page.evaluate(() => {
    const canvas = document.getElementById('saver');
    const rgba = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    return Array.from(rgba.filter((_, i) => i % 4 !== 3));
  }));
}

// cubrix-render's frame, decoded from its GIF to RGB bytes by ImageMagick.
function renderedFrame(object, frame) {
  const gif = path.join(work, `${path.basename(object)}-${frame}.gif`);
  const size = `${width}x${height}`;
  execFileSync(path.join(tools, 'cubrix-render'), ['--size', size, '--start', `${frame}`, '--frames', '1', object, gif]);
  return execFileSync('convert', [gif, '-depth', '8', 'rgb:-']);
}

function assertSamePicture(actual, expected, what) {
  assert.strictEqual(actual.length, expected.length, `${what}: size`);
  const first = actual.findIndex((byte, i) => byte !== expected[i]);
  const pixel = Math.floor(first / 3);
  assert.strictEqual(first, -1, `${what}: first difference at ${pixel % width},${Math.floor(pixel / width)}`);
}

test('loads with no console errors, and draws cubrix-render\'s frames 1 and 100 of every object', async () => {
  const landing = await open(base);
  await landing.waitForFunction(() => document.getElementById('verdict').textContent !== '');
  await landing.waitForTimeout(500);
  assert.deepStrictEqual(landing.errors, []);
  await landing.close();
  await Promise.all(objects.flatMap((object) => [1, 100].map(async (frame) => {
    const page = await open(link(fs.readFileSync(object, 'latin1'), frame));
    const what = `${path.basename(object)} frame ${frame}`;
    assertSamePicture(await heldFrame(page, frame), renderedFrame(object, frame), what);
    assert.deepStrictEqual(page.errors, []);
    await page.close();
  })));
});

test('the editor shows the checker\'s words and the saver\'s refusal; a gallery pick changes the picture', async () => {
  const page = await open(link(fs.readFileSync(objects[0], 'latin1'), 3));
  const before = await heldFrame(page, 3);
  const lines = ['# a cube with a broken face', '[255,0,0] (-15,-15,15) (15,-15,15) (15,15,15)',
    '[0,255,0] (-15,-15,-15) (15,-15,-15) (15,15,-15)', '[0,0,255] (15,-15,-15) (15,15,-15) (15,15,15)',
    '[9,9,9] (1,2,3) (4,5', '[255,255,0] (-15,15,-15) (15,15,-15) (15,15,15)'];
  await page.fill('#object', lines.join('\n'));
  const note = await page.waitForSelector('#notes div[data-line="5"]');
  const file = path.join(work, 'Cube.dat');
  fs.writeFileSync(file, lines.join('\n'));
  assert.match(await note.textContent(), /^Cube\.dat:5: /);
  assert.strictEqual(await note.textContent(), checkerSays(file, 5));
  await page.fill('#object', '# no faces at all\n');  // refused: the saver's own message shows
  await page.waitForSelector('#message:not([hidden])');
  const refusal = await page.textContent('#message p');
  assert.ok(refusal && (await page.textContent('#verdict')).includes(`: ${refusal} (result `), refusal);

  await page.selectOption('#gallery', 'pyramid.dat');
  const picked = await heldFrame(page, 3);
  assert.notDeepStrictEqual(picked, before);
  assertSamePicture(picked, renderedFrame(path.join(root, 'data/objects/pyramid.dat'), 3), 'pyramid frame 3');
  assert.deepStrictEqual(page.errors, []);  // each run ended by the next one ends cleanly
  await page.close();
});

// What cubrix-object-check says of a line of the file, named as the page names it.
function checkerSays(file, line) {
  const run = spawnSync(path.join(tools, 'cubrix-object-check'), ['Cube.dat'], { cwd: path.dirname(file) });
  return String(run.stderr).split('\n').filter((said) => said.startsWith(`Cube.dat:${line}:`)).join('  ');
}

// The link keeps the canvas's size, but not the frame the sharer's run was held at.
test('a shared link opens the same object text, and runs on', async () => {
  const text = '# 100% #hash & ?query\n[1,2,3] (0,0,0) (9,0,0) (0,9,0)\n';
  const editor = await open(`${base}?size=${width}x${height}&frames=2`);
  await editor.fill('#object', text);
  const shared = new URL(await editor.getAttribute('#share', 'href'), base);
  await editor.close();
  assert.deepStrictEqual([...shared.searchParams], [['size', `${width}x${height}`]]);
  const page = await open(shared.href);
  assert.strictEqual(await page.inputValue('#object'), text);
  await page.close();
});

// Storage that refuses to keep anything, with a record no earlier page could have written.
test('the page starts and edits when its storage is full or holds a corrupt record', async () => {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(base);
  await page.evaluate(() => localStorage.setItem('cubrix.stats', '{"Total Frames'));
  await page.addInitScript(() => {
    Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); };
  });
  await page.reload();
  await page.waitForFunction(() => document.getElementById('verdict').textContent !== '');
  await page.fill('#object', '# no faces\n');
  await page.waitForSelector('#message:not([hidden])');
  assert.ok(await page.isHidden('#stats'));
  assert.deepStrictEqual(errors, []);
  await page.close();
});

// Started by keyboard the page has seen no pointer yet: the anchor is the first position it learns.
// Started by a click it is the click's position. Either way a move of 4 pixels does not close.
test('full screen runs until a key, then leaves full screen and shows the run\'s statistics', async () => {
  const page = await open(base);
  const box = await page.$eval('#fullscreen', (b) => b.getBoundingClientRect().toJSON());
  const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
  const byKeyboard = () => page.focus('#fullscreen').then(() => page.keyboard.press('Enter'));
  for (const start of [byKeyboard, () => page.click('#fullscreen')]) {
    await start();
    await page.waitForFunction(() => document.fullscreenElement && document.getElementById('saver').style.cursor === 'none');
    await page.mouse.move(x, y);
    await page.mouse.move(x + 3, y + 1);
    await page.waitForTimeout(300);
    assert.ok(await page.evaluate(() => document.fullscreenElement !== null), 'a move of 4 pixels ended the run');
    await page.keyboard.press('a');
    await page.waitForFunction(() => !document.fullscreenElement && !document.getElementById('stats').hidden);
  }
  const stats = await page.textContent('#stats');
  assert.match(stats, /Total Frames\s*[1-9]/);
  await page.reload();
  assert.strictEqual(await page.textContent('#stats'), stats);
  assert.deepStrictEqual(page.errors, []);
  await page.close();
});

test('full screen with a refused object shows the saver\'s message box, which takes keys and pointer', async () => {
  const page = await open(`${base}#object=${encodeURIComponent('# no faces\n')}`);
  await page.click('#fullscreen');
  await page.waitForSelector('#message button');
  await page.keyboard.press('x');
  await page.click('#message button');  // the pointer crosses the screen to get there
  await page.waitForTimeout(300);
  assert.ok(await page.evaluate(() => document.fullscreenElement !== null), 'input meant for the box ended the run');
  await page.keyboard.press('a');
  await page.waitForFunction(() => !document.fullscreenElement && /Total Frames\s*0/.test(document.getElementById('stats').textContent));
  await page.close();
});
