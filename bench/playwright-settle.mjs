// Playwright's own waits on the settling pages, for bench/settle.sh:
//   node playwright-settle.mjs load|networkidle LIST OUT
// LIST holds ID|URL lines; each page gets a fresh page of its own, is screenshot at 800x600
// once goto's wait is over, shrunk to 200x150 by area averaging like thumbrix-batch's
// thumbnails, and written as OUT/ID.png. One JSON line per page goes to stdout: id, ms
// (goto and screenshot) and whether the wait ran out. Needs: apt-get install chromium;
// npm install --prefix bench playwright-core.
import { chromium } from 'playwright-core';
import fs from 'fs';
import zlib from 'zlib';

const [waitUntil, listFile, out] = process.argv.slice(2);
const rows = fs.readFileSync(listFile, 'utf8').split(/\r?\n/).filter(Boolean).map((l) => l.split('|'));

// 8-bit RGB or RGBA, not interlaced: what Chromium writes.
function decodePng(buf) {
  let pos = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos < buf.length) {
    const len = buf.readUInt32BE(pos), type = buf.toString('latin1', pos + 4, pos + 8);
    const data = buf.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0); height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0 || ![2, 6].includes(data[9])) throw new Error('unexpected PNG layout');
      channels = data[9] === 6 ? 4 : 3;
    } else if (type === 'IDAT') idat.push(data);
    pos += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels, px = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)], src = y * (stride + 1) + 1, row = y * stride, up = row - stride;
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? px[row + x - channels] : 0, b = y ? px[up + x] : 0;
      const c = x >= channels && y ? px[up + x - channels] : 0;
      let p = raw[src + x];
      if (filter === 1) p += a;
      else if (filter === 2) p += b;
      else if (filter === 3) p += (a + b) >> 1;
      else if (filter === 4) {
        const q = a + b - c, pa = Math.abs(q - a), pb = Math.abs(q - b), pc = Math.abs(q - c);
        p += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      px[row + x] = p & 255;
    }
  }
  return { width, height, channels, px };
}

// Node 18 (Debian 12) has no zlib.crc32.
const crcTable = Array.from({ length: 256 }, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n >>> 0;
});
const crc32 = (buf) => {
  let c = 0xffffffff;
  for (const b of buf) c = crcTable[(c ^ b) & 255] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
};

function shrinkToPng({ width, height, channels, px }, w, h) {
  const fx = width / w, fy = height / h;
  if (!Number.isInteger(fx) || !Number.isInteger(fy)) throw new Error('not a whole-number shrink');
  const raw = Buffer.alloc((w * 3 + 1) * h);
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      for (let k = 0; k < 3; k++) {
        let sum = 0;
        for (let j = 0; j < fy; j++)
          for (let i = 0; i < fx; i++) sum += px[((y * fy + j) * width + x * fx + i) * channels + k];
        raw[y * (w * 3 + 1) + 1 + x * 3 + k] = Math.round(sum / (fx * fy));
      }
    }
  }
  const chunk = (type, data) => {
    const head = Buffer.alloc(8); head.writeUInt32BE(data.length); head.write(type, 4, 'latin1');
    const crc = Buffer.alloc(4); crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])));
    return Buffer.concat([head, data, crc]);
  };
  const ihdr = Buffer.alloc(13); ihdr.writeUInt32BE(w); ihdr.writeUInt32BE(h, 4); ihdr[8] = 8; ihdr[9] = 2;
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', ihdr),
                        chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--no-first-run'] });
for (const [id, url] of rows) {
  const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
  const t0 = performance.now();
  let timedOut = false;
  try { await page.goto(url, { waitUntil, timeout: 10000 }); } catch (e) { timedOut = true; }
  const shot = await page.screenshot();
  const ms = Math.round(performance.now() - t0);
  fs.writeFileSync(`${out}/${id}.png`, shrinkToPng(decodePng(shot), 200, 150));
  console.log(JSON.stringify({ id, ms, timed_out: timedOut }));
  await page.close();
}
await browser.close();
