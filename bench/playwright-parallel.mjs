// The yardstick for thumbrix-batch --jobs: K pages of one Chromium at once, each worker
// taking the next URL of the shared list, load + screenshot of an 800x600 viewport.
//     node playwright-parallel.mjs LIST_FILE [K=6]
// One shared context, as --jobs shares one profile between its views; each worker keeps
// its own page (a tab) for all its URLs, as playwright-pages.mjs does for its one page.
import { chromium } from 'playwright-core';
import fs from 'fs';
const t0 = Date.now();
const urls = fs.readFileSync(process.argv[2], 'utf8').split(/\r?\n/).filter(Boolean);
const workers = Number(process.argv[3] ?? 6);
if (!Number.isInteger(workers) || workers < 1) { console.error('K must be a positive integer'); process.exit(2); }
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'] });
const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
const out = fs.mkdtempSync('/tmp/pwout-');
let next = 0, failed = 0;
async function worker() {
  const page = await context.newPage();
  for (let i = next++; i < urls.length; i = next++) {
    try {
      await page.goto(urls[i]);
      await page.screenshot({ path: `${out}/p${i}.png` });
    } catch (e) {
      failed++;
      console.error(`${urls[i]}: ${e.message.split('\n')[0]}`);
    }
  }
}
await Promise.all(Array.from({ length: Math.min(workers, urls.length) }, worker));
await browser.close();
const shots = fs.readdirSync(out).length;
fs.rmSync(out, { recursive: true });
console.log(`playwright ${urls.length} pages, ${workers} in parallel: ${((Date.now() - t0) / 1000).toFixed(2)} s` +
            ` (${shots} screenshots${failed ? `, ${failed} failed` : ''})`);
process.exitCode = failed ? 1 : 0;
