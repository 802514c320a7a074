#!/usr/bin/env node
// The web page's budgets, measured: the page's own code raw and gzip -9; the first frame after the
// load event in headless Chromium; the cost of a frame at 1920x1080 in Chromium (the program's
// time: drawing in WebAssembly plus putting the pixels on the canvas) against the native
// program's client CPU per frame on Xvfb at the same size, in the same run; and a frame's counts:
// how often the page is woken, how many calls update the canvas, how many rectangles they put.
//
// Usage: node bench/web_bench.js [--seconds 10] (after building the web preset and the native
// program: build/web, build/native/host/cubrix). Playwright comes from tests/web's node_modules.
// With --width W --height H it measures only the browser's cost a frame at that size (what
// bench/process_bench.py asks of it, beside its own figures for the native program).
// Not a test: the numbers depend on the machine and its load.
'use strict';
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { chromium } = require(path.join(__dirname, '../tests/web/node_modules/playwright-core'));
const { serveFolder } = require(path.join(__dirname, '../tests/web/local_server'));

const root = path.resolve(__dirname, '..');
const site = path.join(root, 'build/web');
const native = path.join(root, 'build/native/host/cubrix');
const option = (name, fallback) => Number(process.argv[process.argv.indexOf(name) + 1]) || fallback;
const seconds = option('--seconds', 10);
const onlyFrameCost = process.argv.includes('--width');
const [width, height] = [option('--width', 1920), option('--height', 1080)];
const WARM_UP_MS = 1500;
const RUNS = 5;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function pageSize() {
  const files = ['index.html', 'page.js', 'page.css', 'cubrix.js', 'cubrix.wasm'];
  const bytes = files.map((f) => fs.readFileSync(path.join(site, f)));
  const raw = bytes.reduce((sum, b) => sum + b.length, 0);
  const gzip = bytes.reduce((sum, b) => sum + zlib.gzipSync(b, { level: 9 }).length, 0);
  const kib = (n) => (n / 1024).toFixed(1);
  console.log(`page's own code: ${kib(raw)} KiB raw (budget 512), ${kib(gzip)} KiB gzip -9 (budget 150)`);
  for (const [i, f] of files.entries()) {
    console.log(`  ${f}: ${bytes[i].length} bytes, ${zlib.gzipSync(bytes[i], { level: 9 }).length} gzipped`);
  }
}

// Counts the frames the page reports and the program's calls that update the canvas, through its
// runs' page objects.
function countFrames() {
  let factory;
  window.updates = 0;
  Object.defineProperty(window, 'CubrixModule', {
    configurable: true,
    get: () => factory && ((options) => {
      const { frameShown: shown, put } = options.page;
      options.page.frameShown = (count) => { window.framesShown = count; return shown(count); };
      options.page.put = (...args) => { window.updates++; return put(...args); };
      return factory(options);
    }),
    set: (value) => { factory = value; },
  });
  // The program runs in timer callbacks (each wait resumes it from one): their time is its drawing
  // plus putting the pixels on the canvas, and their count is how often the page is woken.
  window.runMs = 0;
  window.wakeUps = 0;
  const setTimer = window.setTimeout;
  window.setTimeout = (callback, ...rest) => setTimer(() => {
    window.wakeUps++;
    const started = performance.now();
    try {
      callback();
    } finally {
      window.runMs += performance.now() - started;
    }
  }, ...rest);
  const put = CanvasRenderingContext2D.prototype.putImageData;
  window.puts = 0;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    window.puts++;
    window.firstPut = window.firstPut ?? performance.now();
    return put.apply(this, args);
  };
  addEventListener('load', () => { window.loaded = performance.now(); });
}

async function firstFrame(browser, base) {
  const delays = [];
  for (let i = 0; i < RUNS; i++) {
    const page = await browser.newPage();
    await page.addInitScript(countFrames);
    await page.goto(base);
    await page.waitForFunction(() => window.firstPut !== undefined && window.loaded !== undefined);
    delays.push(await page.evaluate(() => window.firstPut - window.loaded));
    await page.close();
  }
  delays.sort((a, b) => a - b);
  const [median, worst] = [delays[RUNS >> 1], delays[RUNS - 1]].map((ms) => ms.toFixed(0));
  console.log(`first frame after the load event: median ${median} ms, worst ${worst} ms (budget 300)`);
}

async function browserFrameCost(browser, base) {
  const page = await browser.newPage();
  await page.addInitScript(countFrames);
  const session = await page.context().newCDPSession(page);
  await session.send('Performance.enable');
  const sample = async () => {
    const { metrics } = await session.send('Performance.getMetrics');
    const task = metrics.find((m) => m.name === 'TaskDuration').value * 1000;
    const counts = await page.evaluate(() => [window.runMs, window.framesShown || 0, window.wakeUps, window.updates, window.puts]);
    return [task, ...counts];
  };
  await page.goto(`${base}?size=${width}x${height}`);
  await sleep(WARM_UP_MS);
  const before = await sample();
  await sleep(seconds * 1000);
  const after = await sample();
  await page.close();
  const frames = after[2] - before[2];
  const perFrame = (i) => (after[i] - before[i]) / frames;
  return { task: perFrame(0), run: perFrame(1), wakeUps: perFrame(3), updates: perFrame(4), puts: perFrame(5), frames };
}

const counts = (web) => `a frame: ${web.wakeUps.toFixed(2)} wake-ups of the page, ${web.updates.toFixed(2)} canvas ` +
  `updates, ${web.puts.toFixed(2)} rectangles put (${web.frames} frames)`;

function cpuMs(pid) {
  let total = 0;
  for (const task of fs.readdirSync(`/proc/${pid}/task`)) {
    const sched = fs.readFileSync(`/proc/${pid}/task/${task}/sched`, 'utf8');
    total += Number(/se\.sum_exec_runtime\s*:\s*([\d.]+)/.exec(sched)[1]);
  }
  return total;
}

// `cubrix /s` on its own Xvfb at 1920x1080: client and X server CPU per frame, frames prorated
// from times.dat. The server's part is what putImageData does in the browser.
async function nativeFrameCost() {
  const drive = fs.mkdtempSync(path.join(os.tmpdir(), 'cubrix-bench-'));
  fs.mkdirSync(path.join(drive, 'windows'));
  fs.copyFileSync(path.join(root, 'data/Cube.dat'), path.join(drive, 'windows/Cube.dat'));
  const server = spawn('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '1920x1080x24'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const display = await new Promise((resolve) => server.stdio[3].once('data', (d) => resolve(':' + String(d).trim())));
  const env = { ...process.env, DISPLAY: display, CUBRIX_DRIVE: drive };
  const saver = spawn(native, ['/s'], { env, stdio: 'ignore' });
  await sleep(WARM_UP_MS);
  const before = [cpuMs(saver.pid), cpuMs(server.pid)];
  const started = Date.now();
  await sleep(seconds * 1000);
  const [client, serving] = [cpuMs(saver.pid) - before[0], cpuMs(server.pid) - before[1]];
  const sampleMs = Date.now() - started;
  saver.kill('SIGTERM');
  await new Promise((resolve) => saver.once('exit', resolve));
  server.kill();
  const stats = fs.readFileSync(path.join(drive, 'windows/times.dat'), 'latin1');
  const number = (label) => Number(new RegExp(`${label}\\s*=(-?\\d+)`).exec(stats)[1]);
  const elapsed = (number('Ended') - number('Started')) >>> 0;
  fs.rmSync(drive, { recursive: true, force: true });
  const frames = number('Total Frames') * sampleMs / elapsed;
  return { client: client / frames, server: serving / frames };
}

(async () => {
  if (!onlyFrameCost) pageSize();
  const { server, port } = await serveFolder(site);
  const base = `http://127.0.0.1:${port}/`;
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    if (onlyFrameCost) {
      const web = await browserFrameCost(browser, base);
      console.log(`Chromium at ${width}x${height}: ${web.run.toFixed(2)} ms a frame drawing and putting pixels, ` +
        `${web.task.toFixed(2)} ms of the page's main thread`);
      console.log(counts(web));
      return;
    }
    await firstFrame(browser, base);
    const web = await browserFrameCost(browser, base);
    const native = await nativeFrameCost();
    console.log(`frame at 1920x1080: Chromium ${web.run.toFixed(2)} ms drawing and putting pixels, native client ` +
      `${native.client.toFixed(2)} ms: ratio ${(web.run / native.client).toFixed(2)} (aim 2)`);
    const both = native.client + native.server;
    console.log(`  native client and X server together ${both.toFixed(2)} ms: ratio ${(web.run / both).toFixed(2)}`);
    console.log(`  the page's whole main thread, showing the canvas too: ${web.task.toFixed(2)} ms a frame`);
    console.log(`  ${counts(web)}`);
    console.log(`machine: ${os.cpus().length} cores, load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
  } finally {
    await browser.close();
    server.kill();
  }
})();
