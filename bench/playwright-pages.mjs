// The same pages driven one by one through Playwright and Debian's Chromium, a screenshot each:
// the yardstick for thumbrix-batch. Needs: apt-get install chromium; npm install playwright-core.
import { chromium } from 'playwright-core';
import fs from 'fs';
const t0 = Date.now();
const urls = fs.readFileSync(process.argv[2], 'utf8').split(/\r?\n/).filter(Boolean);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'] });
const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
const out = fs.mkdtempSync('/tmp/pwout-');
let i = 0;
for (const u of urls) { await page.goto(u); await page.screenshot({ path: `${out}/p${i++}.png` }); }
await browser.close();
console.log(`playwright ${urls.length} pages: ${((Date.now() - t0) / 1000).toFixed(2)} s`);
