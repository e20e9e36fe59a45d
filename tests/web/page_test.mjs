// The page in a real browser: starts vemtrac serve on a free port, uploads
// a job through the page, and checks the estimate, the picture's moves and
// a move's tooltip, then the what-if controls: a pen speed typed and a
// raster speed slid give the service's own estimate at those settings, the
// rate prices the time as the program does, and a sweep's chart agrees;
// the chart of the time left runs along the distance or the entries with
// the activities coloured; then a refused job, a picture cut short and an
// empty job get the program's or the import's answers and the total says
// how many it covers. Then designs dropped beside them (the example SVG and
// PNG) show the program's estimates at the import settings the page shows,
// and changed settings (a pen's speed, its colours, the cutting order; the
// lines per inch and direction of a picture) estimate again at once as the
// program does. Leaves a screenshot of each behind (SCREENSHOT, and
// -messages, -design and -picture beside it). Then, from a service whose
// memory budget no timeline fits, the estimate with the service's reason in
// place of the picture.
//
// Usage: node page_test.mjs VEMTRAC JOB SCREENSHOT [CHROMIUM]
import { execFileSync, spawn } from "node:child_process";
import { createRequire } from "node:module";
import { once } from "node:events";
import { mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";

const require = createRequire(process.cwd() + "/");
const puppeteer = require("puppeteer-core");
const [vemtrac, job, screenshot, chromium = "/usr/bin/chromium"] = process.argv.slice(2);

function fail(message) {
  console.error(`page_test: FAIL: ${message}`);
  process.exitCode = 1;
}

// Starts the service on a free port; resolves with its address.
async function startServer(options = []) {
  const server = spawn(vemtrac, ["serve", "--port", "0", ...options], { stdio: ["ignore", "pipe", "inherit"] });
  let out = "";
  for await (const chunk of server.stdout) {
    out += chunk;
    const m = out.match(/http:\/\/[^\s]+\//);
    if (m) return { server, url: m[0] };
  }
  throw new Error(`vemtrac serve did not start: ${out}`);
}

// The program's estimate of an example design with import options, as the
// page groups its ms.
function programMs(design, options = []) {
  const report = JSON.parse(execFileSync(vemtrac, ["--report", "--json", ...options,
    join(dirname(job), design)]));
  return report.jobs[0].run_time_ms.toLocaleString("en-US");
}

// Waits until the estimate shown is the one given and no import is under
// way; false when it does not come.
function estimateShows(page, ms) {
  return page.waitForFunction((want) =>
    document.querySelector("#estimate-ms").textContent === `${want} ms` &&
    document.querySelector("#import-state").hidden, { timeout: 20000 }, ms)
    .then(() => true, () => false);
}

// Drops the example SVG and PNG on the page and changes their settings.
async function checkDesigns(page) {
  const examples = dirname(job);
  await (await page.$("#files")).uploadFile(join(examples, "design_tag.svg"),
    join(examples, "design_badge.png"));
  await page.waitForFunction(() => document.querySelectorAll("#jobs li").length === 6 &&
    [...document.querySelectorAll("#jobs li .state")]
      .every((e) => !/waiting|estimating/.test(e.textContent)), { timeout: 60000 });
  await page.click("#jobs li:nth-child(5)");
  const both = ["--speed", "1=20", "--order", "travel", "--pen", "#ff0000=1", "--pen",
    "#0000ff=1"];
  const steps = [[[], null], [["--speed", "1=20"], async () => {
    await page.click(speed, { clickCount: 3 });
    await page.keyboard.type("20");
  }], [["--speed", "1=20", "--order", "travel"], async () => {
    // A speed under the machine's waits, marked, and the order still counts.
    await page.click(speed, { clickCount: 3 });
    await page.keyboard.type("0.1");
    if (!(await page.$(`${speed}.bad`))) fail("a pen speed of 0.1 mm/s is taken");
    await page.select('#import-settings select[aria-label="Cutting order"]', "travel");
  }], [both, async () => {
    // Both colours on pen 1: one row each, sharing the pen's speed.
    await page.select('#import-settings select[aria-label="#0000ff: pen"]', "1");
  }], [[...both, "--at", "100,50", "--tolerance", "0.5"], async () => {
    // Placed on the table, curves coarser.
    await typeInto('input[aria-label="Placement X, mm"]', "100");
    await typeInto('input[aria-label="Placement Y, mm"]', "50");
    await typeInto('input[aria-label="Curve tolerance, mm"]', "0.5");
  }]];
  const typeInto = async (box, text) => {
    await page.click(`#import-settings ${box}`, { clickCount: 3 });
    await page.keyboard.type(text);
  };
  const speed = '#import-settings input[aria-label="#ff0000: pen 1 speed, mm/s"]';
  for (const [options, change] of steps) {
    if (change) await change();
    const want = programMs("design_tag.svg", options);
    if (!(await estimateShows(page, want))) {
      fail(`design_tag.svg ${options.join(" ")} does not show the program's ${want} ms`);
    }
  }
  const rows = await page.$$eval("#import-settings label", (ls) => ls.map((l) => l.textContent));
  if (JSON.stringify(rows) !== '["#ff0000","#0000ff","Cutting order","Placement, mm",' +
    '"Curve tolerance, mm"]') fail(`rows ${rows}`);
  await page.screenshot({ path: screenshot.replace(/\.png$/, "-design.png"), fullPage: true });
  await page.click("#import-reset");
  if (!(await estimateShows(page, programMs("design_tag.svg")))) fail("As imported is not");

  await page.click("#jobs li:nth-child(6)");
  const raster = [[[], null],
    [["--lpi", "127"], () => page.select('select[aria-label="Lines per inch"]', "127")],
    [["--lpi", "127", "--one-way"], () => page.select('select[aria-label="Direction"]', "one")],
    [["--lpi", "127", "--one-way", "--dpi", "150"], async () => {
      await page.click('input[aria-label="Dots per inch across"]', { clickCount: 3 });
      await page.keyboard.type("150");
    }]];
  for (const [options, change] of raster) {
    if (change) await change();
    const want = programMs("design_badge.png", options);
    if (!(await estimateShows(page, want))) {
      fail(`design_badge.png ${options.join(" ")} does not show the program's ${want} ms`);
    }
  }
  await page.screenshot({ path: screenshot.replace(/\.png$/, "-picture.png"), fullPage: true });
}

const { server, url } = await startServer();
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--no-first-run"],
});
let page = null;
try {
  page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  // A design that cannot be imported is answered 422, which the browser logs.
  page.on("console", (m) => {
    if (m.type() === "error" && !/status of 422/.test(m.text())) errors.push(m.text());
  });
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
  await page.$eval("#picture", (e) => e.scrollIntoView());
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

  // What if: a control for each pen the job cuts with and for its raster
  // work, each starting at the job's own value.
  const controls = await page.$$eval("#settings .setting", (rows) =>
    rows.map((r) => [r.dataset.key, Number(r.querySelector("input.exact").value)]));
  const own = [["VectorSpeed.1", 500], ["VectorSpeed.2", 800], ["VectorSpeed.3", 300], ["VectorSpeed.4", 9],
    ["RasterSpeedX", 1000], ["RasterSpeedY", 1000], ["RasterBandingFree", 1]];
  if (JSON.stringify(controls) !== JSON.stringify(own)) fail(`the what-if controls are ${JSON.stringify(controls)}`);

  // The service's estimate at settings, the ms as the page groups them.
  const estimateAt = async (set) => {
    const q = set.map((kv) => `set=${encodeURIComponent(kv)}`).join("&");
    const r = await (await fetch(`${url}v1/estimate?${q}`, { method: "POST", body: readFileSync(job) })).json();
    return Number(r.run_time_ms).toLocaleString("en-US");
  };
  const whatIfShows = (ms) => page.waitForFunction((want) => {
    const e = document.querySelector("#whatif-time .ms");
    return e && e.textContent === `${want} ms`;
  }, { timeout: 20000 }, ms).then(() => true, () => false);
  await page.click('.setting[data-key="VectorSpeed.2"] input.exact', { clickCount: 3 });
  await page.keyboard.type("400");
  const typed = await estimateAt(["VectorSpeed.2=400"]);
  if (!(await whatIfShows(typed))) fail(`pen 2 at 400 does not show the service's ${typed} ms`);
  await page.focus('.setting[data-key="RasterSpeedX"] input[type=range]');
  await page.keyboard.press("PageDown");
  const slid = await page.$eval('.setting[data-key="RasterSpeedX"] input.exact', (e) => e.value);
  const both = await estimateAt(["VectorSpeed.2=400", `RasterSpeedX=${slid}`]);
  if (slid === "1000" || !(await whatIfShows(both))) fail(`raster speed slid to ${slid} does not show ${both} ms`);
  // A box cleared to type anew is no value: nothing is estimated at 0.
  const pen2 = '.setting[data-key="VectorSpeed.2"] input.exact';
  await page.click(pen2, { clickCount: 3 });
  await page.keyboard.press("Backspace");
  await new Promise((r) => setTimeout(r, 400));
  const cleared = await page.$eval("#whatif-time", (e) => e.textContent);
  if (!cleared.includes(`${both} ms`) || !(await page.$(`${pen2}.bad`))) fail(`a cleared box shows "${cleared}"`);
  await page.keyboard.type("400");
  const beside = await page.$eval("#estimate-ms", (e) => e.textContent);
  if (beside.replace(/[^0-9]/g, "") !== "91696") fail(`the job's own time became "${beside}"`);

  // The rate prices the times as the program does.
  await page.type("#rate", "60");
  await page.click("#setup", { clickCount: 3 });
  await page.keyboard.type("5");
  const priced = JSON.parse(execFileSync(vemtrac, ["--report", "--json", "--rate", "60", "--setup", "5", job]));
  const cost = Number(priced.jobs[0].cost).toFixed(2);
  const costShown = await page.$eval("#estimate-cost", (e) => e.textContent);
  if (costShown !== `cost ${cost}`) fail(`the cost shows "${costShown}", the program ${cost}`);

  // A sweep of pen 2 at the other settings shown: its point at 400 is the
  // what-if estimate.
  await page.click('.setting[data-key="VectorSpeed.2"] button');
  await page.waitForSelector("#sweep-chart circle.point", { timeout: 60000 });
  const at400 = await page.$eval('#sweep-chart circle.point[data-value="400"]', (c) => Number(c.dataset.ms));
  const points = await page.$$eval("#sweep-chart circle.point", (cs) => cs.length);
  if (at400.toLocaleString("en-US") !== both || points < 20) {
    fail(`the sweep has ${points} points, ${at400} ms at 400 where the estimate is ${both}`);
  }

  // The head runs up past the table's left edge: the page says so.
  const warned = await page.$eval("#warnings", (e) => e.textContent);
  if (!warned.includes("entry 366: image 1 takes the head 20.7 mm past the table's left edge")) {
    fail(`the warnings read "${warned}"`);
  }
  // The number boxes keep to their sliders' range; the sign of a speed is explained.
  await page.click(pen2, { clickCount: 3 });
  await page.keyboard.type("2000");
  if (!(await page.$(`${pen2}.bad`))) fail("a pen speed of 2000 is taken");
  const perMille = await page.$eval(".setting label abbr", (e) => e.title);
  if (!perMille.includes("thousandths of the machine's maximum speed")) {
    fail(`‰ is explained as "${perMille}"`);
  }

  // The time left: one stretch per run of an activity, pen 4's among them,
  // along the distance and along the entries; the pointer names the entry.
  const curves = async () =>
    page.$$eval("#remaining polyline.curve", (ps) => ps.map((p) => p.getAttribute("stroke")));
  const alongDistance = await curves();
  if (alongDistance.length < 5 || !alongDistance.includes("#f58231")) {
    fail(`the time left has stretches ${alongDistance}`);
  }
  await page.click("#along-entries");
  const caption = await page.$eval("#remaining text.caption", (e) => e.textContent);
  const alongEntries = await curves();
  if (!caption.startsWith("entry of the job file") ||
      alongEntries.length !== alongDistance.length) {
    fail(`along the entries the chart reads "${caption}"`);
  }
  await page.$eval("#remaining", (e) => e.scrollIntoView());
  const chart = await (await page.$("#remaining svg")).boundingBox();
  await page.mouse.move(chart.x + chart.width * 0.4, chart.y + chart.height / 2);
  const readout = await page.$eval("#remaining .readout", (e) => e.textContent);
  if (!/^entry \d+ · pd_default · [\d,]+ mm along · \d:\d\d:\d\d left · cutting, pen 4$/.test(readout)) {
    fail(`pointing at the chart reads "${readout}"`);
  }
  await page.screenshot({ path: screenshot, fullPage: true });

  // The same mistakes get the program's answers.
  const dir = mkdtempSync(join(tmpdir(), "vemtrac-page-"));
  const files = { "refused.cmd": "VemtracCmdVer 2\npd_default 1 1\n",
    "photo.png": "\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "empty.cmd": "" };
  for (const [name, bytes] of Object.entries(files)) {
    writeFileSync(join(dir, name), Buffer.from(bytes, "latin1"));
  }
  await (await page.$("#files")).uploadFile(...Object.keys(files).map((n) => join(dir, n)));
  await page.waitForFunction(() => document.querySelectorAll("#jobs li").length === 4 &&
    [...document.querySelectorAll("#jobs li .state")]
      .every((e) => !/waiting|estimating/.test(e.textContent)), { timeout: 60000 });
  const states = await page.$$eval("#jobs li .state", (es) => es.map((e) => e.textContent));
  const total = await page.$eval("#total span", (e) => e.textContent);
  if (states[1] !== "refused: the version of the job file is not 1" ||
      !states[2].startsWith("the PNG's header cannot be read") || !states[3].startsWith("0 ms") ||
      total !== "Total of 2 of 4 jobs (2 could not be estimated)") {
    fail(`the list reads ${JSON.stringify(states)}, "${total}"`);
  }
  const ending = async (i) => {
    await page.click(`#jobs li:nth-child(${i})`);
    return page.$eval("#job-end", (e) => e.textContent);
  };
  const refused = await ending(2);
  const refusal = "The machine refused the job: the version of the job file is not 1 " +
    '(line 1, entry 1 "VemtracCmdVer")';
  if (refused !== refusal) {
    fail(`a refused job reads "${refused}"`);
  }
  await page.click("#jobs li:nth-child(3)");
  if (!(await page.$eval("#detail", (e) => e.hidden))) fail("a design cut short shows an estimate");
  await ending(4);
  const nothing = await page.$eval("#warnings", (e) => e.textContent);
  if (nothing !== "the job moves nothing: its estimate is 0") fail(`the empty job warns "${nothing}"`);
  await page.click("#jobs li:nth-child(2)");
  await page.screenshot({ path: screenshot.replace(/\.png$/, "-messages.png"), fullPage: true });

  await checkDesigns(page);

  const tight = await startServer(["--memory-budget-mib", "0"]);
  try {
    const refused = await browser.newPage();
    await refused.goto(tight.url, { waitUntil: "load" });
    await (await refused.$("#files")).uploadFile(job);
    await refused.waitForSelector("#detail:not([hidden]) #picture p.error", { timeout: 60000 });
    const said = await refused.$eval("#picture p.error", (e) => e.textContent);
    const time = await refused.$eval("#estimate-ms", (e) => e.textContent);
    if (!/memory.*entries=FIRST-LAST/.test(said) || time.replace(/[^0-9]/g, "") !== "91696") {
      fail(`over the memory budget the page shows "${time}" and "${said}"`);
    }
  } finally {
    tight.server.kill();
    await once(tight.server, "exit");
  }
  if (errors.length) fail(`the page reported errors: ${errors.join("; ")}`);
  console.log(`page_test: estimate "${shown}", ${moves} moves, tooltip "${tip}", what if ${typed} / ${both} ms, ` +
    `${cost}, sweep of ${points} points, screenshot ${screenshot}`);
} catch (e) {
  fail(e.stack || String(e));
  // What the page showed when it went wrong.
  if (page) await page.screenshot({ path: screenshot, fullPage: true }).catch(() => {});
} finally {
  await browser.close();
  server.kill();
  await once(server, "exit");
}
