// The show's page in Debian's headless Chromium: the options window as the desktop draws it, each
// renderer's frames against the desktop's, Escape, and the music that reaches Web Audio.
// Run by scripts/test-web, which passes the page folder, krv and the content folder.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';
import { serve } from './serve.mjs';

const pageDir = process.env.KESTRUNE_WEB_PAGE;
const krv = process.env.KESTRUNE_KRV;
const showDir = process.env.KESTRUNE_SHOW; // krv.dat and test.xm of the desktop build
const work = mkdtempSync(join(tmpdir(), 'kestrune-web-'));

// Points of the options window (its own pixels) and of the device dialog's OK button.
const options = {
  go: [285, 215], direct3D: [247, 65], openGL: [247, 45], res640x480: [87, 125], fullscreen: [247, 165],
};
const dialogOk = [88, 92];

let server, browser, base;

before(async () => {
  server = await serve(pageDir);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--window-size=1024,768'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
});

// Opens the page and collects its console errors and uncaught exceptions.
async function openPage(query = '') {
  const page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 768 });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()}`));
  const started = Date.now();
  await page.goto(base + query);
  return { page, errors, started };
}

// RGBA bytes of a window's canvas (2D or WebGL; its top-left width x height, at most), and the
// show time they show (ms since the first frame). With lit set, only the share of pixels that
// are not black.
function canvasPixels(page, id, width = 4096, height = 4096, lit = false) {
  return page.evaluate((id, width, height, lit) => {
    const showTime = performance.now() - Module.firstFrameAt;
    const canvas = document.getElementById(`window-${id}`);
    const copy = document.createElement('canvas');
    copy.width = Math.min(width, canvas.width);
    copy.height = Math.min(height, canvas.height);
    const context = copy.getContext('2d');
    context.drawImage(canvas, 0, 0);
    const data = context.getImageData(0, 0, copy.width, copy.height).data;
    if (lit) {
      let count = 0;
      for (let i = 0; i < data.length; i += 4) if (data[i] + data[i + 1] + data[i + 2] > 24) ++count;
      return count / (copy.width * copy.height);
    }
    return { width: copy.width, height: copy.height, showTime, data: Array.from(data) };
  }, id, width, height, lit);
}

// A PNG of krv's, decoded by the browser into RGBA bytes.
function pngPixels(page, file) {
  const url = 'data:image/png;base64,' + readFileSync(join(work, file)).toString('base64');
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return { width: image.width, height: image.height,
      data: Array.from(context.getImageData(0, 0, image.width, image.height).data) };
  }, url);
}

// Keeps a window's picture in the work folder, for a person to look at.
async function saveCanvas(page, id, file) {
  const url = await page.evaluate((id) => document.getElementById(`window-${id}`).toDataURL(), id);
  writeFileSync(join(work, file), Buffer.from(url.split(',')[1], 'base64'));
  console.log(`kept ${join(work, file)}`);
}

async function clickWindow(page, id, [x, y]) {
  const box = await (await page.$(`#window-${id}`)).boundingBox();
  await page.mouse.click(box.x + x, box.y + y);
}

// Mean absolute difference per channel over the top-left width x height.
function meanDifference(a, b, width, height) {
  let total = 0;
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x)
      for (let c = 0; c < 3; ++c)
        total += Math.abs(a.data[4 * (y * a.width + x) + c] - b.data[4 * (y * b.width + x) + c]);
  return total / (width * height * 3);
}

async function waitFor(page, predicate, timeout, ...args) {
  await page.waitForFunction(predicate, { timeout, polling: 100 }, ...args);
}

test('the options window loads without errors and matches the desktop pixel for pixel', async () => {
  const { page, errors, started } = await openPage();
  await waitFor(page, () => {
    const canvas = document.getElementById('window-1');
    if (!canvas) return false;
    return canvas.getContext('2d').getImageData(10, 10, 1, 1).data[3] === 255;
  }, 10000);
  console.log(`options window shown ${Date.now() - started} ms after loading began`);
  execFileSync(krv, ['snapshot', 'options', join(work, 'options.png')]);
  const ours = await canvasPixels(page, 1);
  const desktop = await pngPixels(page, 'options.png');
  assert.deepEqual([ours.width, ours.height], [desktop.width, desktop.height]);
  const differing = ours.data.filter((v, i) => v !== desktop.data[i]).length;
  assert.equal(differing, 0, 'the options window differs from krv snapshot options');
  assert.deepEqual(errors, []);
  await page.close();
});

// GO!! with the renderer at 640x480, windowed; the frames shown, the desktop's loading scene at the
// same show time, the frame times, the music heard and Escape.
async function playShow(renderer) {
  const { page, errors } = await openPage('?audiotap=12');
  await waitFor(page, () => !!document.getElementById('window-1'), 10000);
  await new Promise((r) => setTimeout(r, 300));
  await clickWindow(page, 1, options.res640x480);
  await clickWindow(page, 1, options[renderer]);
  await clickWindow(page, 1, options.fullscreen); // off: the page is read as drawn
  // The show's frames are timed from its first frame after GO!!.
  await page.evaluate(() => { Module.firstFrameAt = undefined; });
  await clickWindow(page, 1, options.go);
  const clicked = Date.now();
  if (renderer === 'direct3D') {
    await waitFor(page, () => document.querySelectorAll('canvas.window').length >= 2, 10000);
    const dialog = await page.evaluate(() => document.querySelector('canvas.window:last-of-type').id);
    await clickWindow(page, Number(dialog.substring(7)), dialogOk);
  }
  // The output is the newest canvas left once the options window has gone.
  await waitFor(page, () => !document.getElementById('window-1'), 10000);
  const output = await page.evaluate(() => Number(document.querySelector('canvas.window').id.substring(7)));
  let shownAt;
  for (let tries = 0; tries < 100; ++tries) {
    if (await canvasPixels(page, output, 640, 480, true) > 0.01) {
      shownAt = Date.now();
      break;
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.ok(shownAt, `${renderer}: no frame with anything drawn within 10 s of GO!!`);
  console.log(`${renderer}: first drawn frame ${shownAt - clicked} ms after GO!!`);

  // The loading scene runs at 33 ms a frame from the show's first frame: compare a frame with the
  // desktop's frames around the same time, and keep the closest.
  const pixels = await canvasPixels(page, output, 640, 480);
  const frameTime = pixels.showTime / 33;
  if (process.env.KESTRUNE_WEB_KEEP) await saveCanvas(page, output, `${renderer}.png`);
  let best = Infinity;
  for (let f = Math.max(0, Math.round(frameTime) - 6); f <= Math.round(frameTime) + 4; f += 2) {
    const file = `load-${f}.png`;
    execFileSync(krv, ['snapshot', 'scene', 'load.lws', String(f), join(work, file), '--size', '640x480',
      '--archive', join(showDir, 'krv.dat')]);
    best = Math.min(best, meanDifference(pixels, await pngPixels(page, file), 640, 480));
  }
  console.log(`${renderer}: mean difference from the desktop's loading scene near frame ` +
    `${Math.round(frameTime)}: ${best.toFixed(2)} of 255`);
  // The desktop pictures are OpenGL's; the software Direct3D device lights and filters its own way.
  assert.ok(best < (renderer === 'openGL' ? 6 : 12), `${renderer}: the frame is far from the desktop's (${best.toFixed(2)})`);

  await page.evaluate(() => { Module.frameCosts.length = 0; });
  await new Promise((r) => setTimeout(r, 3000));
  const costs = await page.evaluate(() => Module.frameCosts.slice());
  costs.sort((a, b) => a - b);
  const mean = costs.reduce((s, v) => s + v, 0) / Math.max(costs.length, 1);
  console.log(`${renderer}: ${costs.length} frames in 3 s of the loading scene, drawing took mean ` +
    `${mean.toFixed(1)} ms, median ${costs[costs.length >> 1]?.toFixed(1)} ms, ` +
    `max ${costs[costs.length - 1]?.toFixed(1)} ms`);

  // The music reaches Web Audio once the loading is done: from its first sound on, it follows
  // krv xm render of the same module (the same device and mixer) sample for sample. A slow load
  // starts it late, so wait for a second of it.
  await waitFor(page, () => {
    const tap = Module.audioTap;
    if (!tap) return false;
    const first = tap.tap.subarray(0, tap.tapFrames * 2).findIndex((v) => v !== 0);
    return first >= 0 && tap.tapFrames * 2 - first >= 44100 * 2;
  }, 15000).catch(() => {});
  const heard = await page.evaluate(() => {
    const tap = Module.audioTap;
    return tap ? Array.from(tap.tap.subarray(0, tap.tapFrames * 2)) : [];
  });
  execFileSync(krv, ['xm', 'render', join(showDir, 'test.xm'), join(work, 'music.wav'), '--seconds', '4']);
  const wav = readFileSync(join(work, 'music.wav'));
  const rendered = new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length));
  const start = (samples) => samples.findIndex((v) => v !== 0);
  const a = start(heard), b = start(rendered);
  const span = Math.min(44100 * 2, heard.length - a, rendered.length - b);
  let dot = 0, aa = 0, bb = 0;
  for (let i = 0; i < span; ++i) {
    dot += heard[a + i] * rendered[b + i];
    aa += heard[a + i] ** 2;
    bb += rendered[b + i] ** 2;
  }
  const correlation = dot / Math.sqrt(aa * bb || 1);
  console.log(`${renderer}: Web Audio heard ${span / 2} frames of music from frame ${a / 2}, ` +
    `correlation with krv xm render ${correlation.toFixed(4)}`);
  assert.ok(a >= 0 && span >= 44100, `${renderer}: no music reached Web Audio`);
  assert.ok(correlation > 0.9, `${renderer}: the music heard is not the module's`);

  await page.keyboard.press('Escape');
  await waitFor(page, () => document.body.dataset.ended !== undefined, 5000);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'The show has ended.');
  assert.deepEqual(errors, []);
  return page;
}

test('Direct3D: GO!! shows the loading scene as the desktop draws it, and Escape ends the show', async () => {
  const page = await playShow('direct3D');
  await page.close();
});

test('OpenGL: GO!! shows the loading scene as the desktop draws it, and Escape ends the show', async () => {
  const page = await playShow('openGL');
  await page.close();
});
