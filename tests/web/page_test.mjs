// The page in a real browser: starts vemtrac serve on a free port, uploads
// a job through the page, and checks the estimate, the picture's moves and
// a move's tooltip; leaves a screenshot behind.
//
// Usage: node page_test.mjs VEMTRAC JOB SCREENSHOT [CHROMIUM]
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import { once } from "node:events";
import { readFileSync } from "node:fs";

const require = createRequire(process.cwd() + "/");
const puppeteer = require("puppeteer-core");
const [vemtrac, job, screenshot, chromium = "/usr/bin/chromium"] = process.argv.slice(2);

function fail(message) {
  console.error(`page_test: FAIL: ${message}`);
  process.exitCode = 1;
}

// Starts the service on a free port; resolves with its address.
async function startServer() {
  const server = spawn(vemtrac, ["serve", "--port", "0"], { stdio: ["ignore", "pipe", "inherit"] });
  let out = "";
  for await (const chunk of server.stdout) {
    out += chunk;
    const m = out.match(/http:\/\/[^\s]+\//);
    if (m) return { server, url: m[0] };
  }
  throw new Error(`vemtrac serve did not start: ${out}`);
}

const { server, url } = await startServer();
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run"],
});
try {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
  await page.setViewport({ width: 1400, height: 900 });
  await page.goto(url, { waitUntil: "load" });
  const input = await page.$("#files");
  await input.uploadFile(job);
  await page.waitForSelector("#detail:not([hidden]) #picture line.move", { timeout: 60000 });

  const shown = await page.$eval("#estimate-ms", (e) => e.textContent);
  if (shown.replace(/[^0-9]/g, "") !== "91696") fail(`the estimate shows "${shown}", not 91696 ms`);
  const listed = await page.$eval("#jobs li .state", (e) => e.textContent);
  if (!listed.includes("91,696")) fail(`the job list shows "${listed}"`);

  const moves = await page.$$eval("#picture line.move", (ls) => ls.length);
  const timeline = await (await fetch(url + "v1/timeline", {
    method: "POST", body: readFileSync(job), headers: { Accept: "application/json" } })).json();
  if (moves === 0 || moves !== timeline.moves.length) {
    fail(`the picture holds ${moves} moves, the job ${timeline.moves.length}`);
  }

  // A cutting move well inside the table: the tooltip names its entry.
  // The longest cut: the pointer goes to its middle.
  const at = await page.$$eval("#picture line.move.cut", (ls) => {
    let best = null, most = -1;
    for (const l of ls) {
      const r = l.getBoundingClientRect();
      if (r.width + r.height > most) { most = r.width + r.height; best = r; }
    }
    return best && { x: best.left + best.width / 2, y: best.top + best.height / 2 };
  });
  if (!at) throw new Error("the picture holds no cutting move");
  await page.mouse.move(at.x - 30, at.y - 30);
  await page.mouse.move(at.x, at.y, { steps: 5 });
  await page.waitForSelector("#tooltip:not([hidden])", { timeout: 5000 });
  const tip = await page.$eval("#tooltip", (e) => e.textContent);
  if (!/^entry \d+ · \S+ · \d+:\d\d:\d\d \([\d,]+ ms\) to \d+:\d\d:\d\d/.test(tip)) fail(`the tooltip reads "${tip}"`);

  await page.screenshot({ path: screenshot });
  if (errors.length) fail(`the page reported errors: ${errors.join("; ")}`);
  console.log(`page_test: estimate "${shown}", ${moves} moves, tooltip "${tip}", screenshot ${screenshot}`);
} catch (e) {
  fail(e.stack || String(e));
} finally {
  await browser.close();
  server.kill();
  await once(server, "exit");
}
