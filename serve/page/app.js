// The page of vemtrac serve: each job file or design chosen or dropped is
// sent to the service, which replays it (a design imported first) through
// the machine; the page lists the jobs with their times and shows the one
// selected: its estimate, the head's moves on the table, where the time goes
// and the time remaining, and what if: the job at other pen speeds, raster
// speeds or banding, estimated again as a control moves, a sweep of one
// setting, and times as costs. A design's import settings are design.js's.
"use strict";

const SVG = "http://www.w3.org/2000/svg";
// {name, state, estimate, timeline, error, file, values, whatif, sweep, and
// for a design: design (the import's summary), importSettings, importState}
const jobs = [];
let selected = -1;
let view = null;       // the picture's viewBox: {x, y, w, h} in mm

const $ = (id) => document.getElementById(id);

// Milliseconds as h:mm:ss, whole seconds, as the machine shows its run time.
function hms(ms) {
  const s = Math.floor(ms / 1000);
  const pad = (n) => String(n).padStart(2, "0");
  return `${Math.floor(s / 3600)}:${pad(Math.floor(s / 60) % 60)}:${pad(s % 60)}`;
}

// Milliseconds with the thousands grouped.
function msText(ms) {
  return `${Number(ms).toLocaleString("en-US")} ms`;
}

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function svgEl(tag, attrs) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
  return e;
}

// The colour of an activity, as the picture of the report draws it.
const PENS = ["#000000", "#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42d4f4",
  "#f032e6", "#9a6324", "#469990", "#800000", "#808000", "#000075", "#bfef45",
  "#dcbeff", "#aaffc3", "#ffd8b1"];
const PASSES = ["#ffb000", "#00a0a0", "#c05090", "#6070ff", "#80b000", "#ff6040"];
const STEPS = ["#a06e00", "#006464", "#7a2f5a", "#2f3ca0", "#4e6b00", "#a83218"];
function activityColour(a) {
  const image = a.image > 0 ? (a.image - 1) % 6 : 0;
  switch (a.kind) {
    case "cut": return PENS[a.pen >= 0 && a.pen <= 16 ? a.pen : 0];
    case "travel": return "#8a8a8a";
    case "raster_pass": return PASSES[image];
    case "raster_line_step": return STEPS[image];
    case "raster_carriage": return "#74c0fc";
    default: return "#495057";
  }
}

const PHASE_COLOURS = { idle: "#ced4da", hold: "#adb5bd", acceleration: "#51cf66", slew: "#339af0",
  deceleration: "#ff922b", creep: "#cc5de8", delay: "#868e96" };

// Sends the job to one endpoint of the service, with the query's further
// [name, value] pairs; the answer's JSON.
async function post(path, job, file, query = [], signal = undefined) {
  const q = [["name", job.name], ...query].map(([k, v]) => `${k}=${encodeURIComponent(v)}`).join("&");
  const r = await fetch(`${path}?${q}`, {
    method: "POST", body: file, signal,
    headers: { "Content-Type": "application/octet-stream", "Accept": "application/json" },
  });
  const body = await r.json().catch(() => ({ error: `HTTP ${r.status}` }));
  if (!r.ok) throw new Error(body.error || `HTTP ${r.status}`);
  return body;
}

// Estimates the files one after the other (the service's workers are shared
// with every other client).
async function addFiles(files) {
  const added = [...files].map((f) => ({ name: f.name, state: "waiting", file: f }));
  jobs.push(...added);
  if (selected < 0) selected = jobs.length - added.length;
  renderList();
  for (const job of added) {
    job.state = "running";
    renderList();
    try {
      // A timeline the service cannot give (too large for its memory) leaves
      // the estimate standing: the panels that draw it say why instead.
      Object.assign(job, await estimateJob(job));
      job.values = { ...job.timeline.settings };
      await startImport(job);
      job.state = "done";
    } catch (e) {
      job.state = "error";
      job.error = e.message;
      delete job.file;
    }
    renderList();
    if (jobs[selected] === job) renderDetail();
  }
}

// A reason as a sentence starts, with its first letter in capitals.
const sentence = (text) => text.charAt(0).toUpperCase() + text.slice(1);

// Why the machine refused the job, without what follows the ';'
// ("version of the job file is not 1").
function refusal(est) {
  const s = est.stopped_at || {};
  return s.reason ? s.reason.split(";")[0] : "refused";
}

// How the job ended, in a few words.
function endText(est) {
  const s = est.stopped_at || {};
  if (est.result === "refused") {
    return `The machine refused the job: the ${refusal(est)} ` +
      `(line ${s.line}, entry ${s.entry} "${s.keyword}")`;
  }
  if (est.result === "unreadable") return sentence(est.reason);
  if (est.complete) return "Ran to the end of the job file";
  return `Stopped at entry ${s.entry} (${s.keyword}): ${s.reason}`;
}

// The job's state in the list: its time, or why it has none.
function stateText(job, state) {
  const est = job.estimate;
  switch (state) {
    case "waiting": return "waiting";
    case "running": return "estimating…";
    // The service names a design in its errors; the list has its name already.
    case "error": return job.error.startsWith(`${job.name}: `)
      ? job.error.slice(job.name.length + 2) : job.error;
    case "refused": return `refused: the ${refusal(est)}`;
    case "unreadable": return est.reason.split(/[.:] /).slice(0, 2).join(": ");
    case "stopped":
      return `${msText(est.run_time_ms)}, stopped at entry ${(est.stopped_at || {}).entry || "?"}`;
    default: return msText(est.run_time_ms);
  }
}

// The total's heading, as the program's report words it.
function totalHeading(jobsDone, estimated) {
  const count = (n) => `${n} job${n === 1 ? "" : "s"}`;
  return estimated === jobsDone ? `Total of ${count(jobsDone)}`
    : `Total of ${estimated} of ${count(jobsDone)} ` +
      `(${jobsDone - estimated} could not be estimated)`;
}

function renderList() {
  const list = $("jobs");
  list.replaceChildren();
  let total = 0, finished = 0, estimated = 0;
  jobs.forEach((job, i) => {
    const li = el("li", i === selected ? "selected" : "");
    li.append(el("span", "name", job.name));
    const est = job.estimate;
    li.append(el("span", "t", est && est.run_time_ms !== null ? hms(est.run_time_ms) : ""));
    const ok = job.state === "done" && est.result === "ok";
    const state = job.state !== "done" ? job.state
      : !ok ? est.result : est.complete ? "complete" : "stopped";
    let text = stateText(job, state);
    if (ok && costText(est.run_time_ms)) text += ` · cost ${costText(est.run_time_ms)}`;
    li.append(el("span", `state ${state}`, text));
    li.addEventListener("click", () => { selected = i; renderList(); renderDetail(); });
    list.append(li);
    if (job.state === "done" || job.state === "error") finished++;
    if (ok) { total += est.run_time_ms; estimated++; }
  });
  $("hint").hidden = jobs.length > 0;
  const t = $("total");
  t.hidden = finished < 2;
  // Each job estimated has its own setup, as the program's total counts it.
  t.replaceChildren(el("span", "", totalHeading(finished, estimated)),
    el("span", "", `${hms(total)} · ${msText(total)}`));
  if (rateSet() !== null) t.append(el("span", "cost", `cost ${costText(total, estimated)}`));
}

function renderDetail() {
  const job = jobs[selected];
  const ready = job && job.state === "done";
  $("detail").hidden = !ready;
  if (!ready) return;
  const est = job.estimate;
  $("job-name").textContent = job.name;
  $("estimate-hms").textContent = est.run_time_ms !== null ? hms(est.run_time_ms) : "No estimate";
  $("estimate-ms").textContent = est.run_time_ms !== null ? msText(est.run_time_ms) : "";
  const cost = est.run_time_ms !== null ? costText(est.run_time_ms) : "";
  $("estimate-cost").hidden = !cost;
  $("estimate-cost").textContent = cost ? `cost ${cost}` : "";
  $("job-end").textContent = endText(est);
  $("job-end").className = est.result !== "ok" ? "failed" : est.complete ? "ok" : "stopped";
  $("warnings").replaceChildren(...(est.warnings || []).map((w) =>
    el("li", "", w.entry ? `entry ${w.entry}: ${w.message}` : w.message)));
  // A job without an estimate has no figures, moves or time to show.
  const estimated = est.result === "ok";
  $("figures").hidden = !estimated;
  $("panels").hidden = !estimated;
  $("whatif").hidden = !estimated;
  renderImport(job);
  if (!estimated) return;
  renderFigures(job);
  if (job.timeline.error) {
    for (const id of ["picture", "remaining"]) {
      $(id).replaceChildren(el("p", "error", `No timeline for this job: ${job.timeline.error}`));
    }
  } else {
    renderPicture(job.timeline, est);
  }
  renderBars($("phases"), Object.entries(est.phases).filter(([, v]) => v > 0)
    .map(([k, v]) => ({ label: k, ticks: v, colour: PHASE_COLOURS[k] || "#868e96" })));
  renderBars($("activities"), est.activities.map((a, i) => ({
    label: job.timeline.activities[i] ? job.timeline.activities[i].label : a.kind,
    ticks: a.ticks, colour: activityColour(a) })));
  if (!job.timeline.error) renderRemaining(job.timeline, est);
  renderSettings(job);
  renderWhatIfTime(job);
  renderSweep(job);
}

function renderFigures(job) {
  const est = job.estimate;
  const rows = [["Ticks", est.ticks.toLocaleString("en-US")], ["Vectors planned", est.vectors_planned],
    ["Raster lines", est.raster_lines], ["Cut", `${est.cut_mm.toFixed(1)} mm`],
    ["Travel", `${est.travel_mm.toFixed(1)} mm`], ...designFigures(job)];
  $("figures").replaceChildren(...rows.flatMap(([k, v]) => [el("dt", "", k), el("dd", "", String(v))]));
}

// Horizontal bars of ticks, each with its share as h:mm:ss.
function renderBars(box, items) {
  const most = Math.max(1, ...items.map((i) => i.ticks));
  box.replaceChildren(...items.map((item) => {
    const row = el("div", "row");
    const label = el("span", "label", item.label);
    label.title = item.label;
    const track = el("div", "track");
    const fill = el("div", "fill");
    fill.style.width = `${(100 * item.ticks) / most}%`;
    fill.style.background = item.colour;
    track.append(fill);
    row.append(label, track, el("span", "v", hms(item.ticks * 0.4)));
    return row;
  }));
}

// What the picture shows at first, SVG coordinates (mm, Y down): the table,
// and every move the head makes past its edges with a margin around; for a
// design, what it cuts or engraves with a margin around.
function fitView(tl) {
  if (tl.design) {
    const work = designView(tl);
    if (work) return work;
  }
  const [tw, th] = tl.table_mm;
  let x0 = 0, x1 = tw, y0 = 0, y1 = th;
  for (const m of tl.moves) {
    x0 = Math.min(x0, m[0], m[2]); x1 = Math.max(x1, m[0], m[2]);
    y0 = Math.min(y0, m[1], m[3]); y1 = Math.max(y1, m[1], m[3]);
  }
  const pad = x0 < 0 || y0 < 0 || x1 > tw || y1 > th ? 0.02 * Math.max(x1 - x0, y1 - y0) : 0;
  return { x: x0 - pad, y: th - y1 - pad, w: x1 - x0 + 2 * pad, h: y1 - y0 + 2 * pad };
}

// The head's moves to scale on the table, plot-bed origin at the lower left;
// moves past the table's edges (a raster pass's run-up) are shown too.
function renderPicture(tl, est) {
  const [tw, th] = tl.table_mm;
  const rows = new Map(tl.timeline.map((r) => [r.entry, r]));
  const fit = fitView(tl);
  const svg = svgEl("svg", { viewBox: `${fit.x} ${fit.y} ${fit.w} ${fit.h}`,
    preserveAspectRatio: "xMidYMid meet",
    role: "img", "aria-label": `${tl.moves.length} moves on a ${tw} by ${th} mm table` });
  svg.append(svgEl("rect", { class: "table", x: 0, y: 0, width: tw, height: th }));
  const g = svgEl("g", { transform: `translate(0 ${th}) scale(1 -1)` });
  tl.moves.forEach((m, i) => {
    const a = est.activities[m[4]] || { kind: "other" };
    const line = svgEl("line", { x1: m[0], y1: m[1], x2: m[2], y2: m[3], stroke: activityColour(a),
      "stroke-width": a.kind === "travel" ? 0.8 : 1.6, class: `move ${a.kind}`, "data-i": i });
    g.append(line);
  });
  svg.append(g);
  $("picture").replaceChildren(svg);
  view = { ...fit, tw, th, fit };
  hookPicture(svg, tl, rows);
}

function setView(svg) {
  svg.setAttribute("viewBox", `${view.x} ${view.y} ${view.w} ${view.h}`);
}

// Zooms by factor around a point of the picture (mm), keeping it in place.
function zoom(svg, factor, cx, cy) {
  const w = Math.min(view.tw * 2, Math.max(view.tw / 400, view.w * factor));
  const k = w / view.w;
  view.x = cx - (cx - view.x) * k;
  view.y = cy - (cy - view.y) * k;
  view.w = w;
  view.h = view.h * k;
  setView(svg);
}

// The picture's point (mm, SVG coordinates) under the pointer.
function pointAt(svg, ev) {
  const r = svg.getBoundingClientRect();
  const s = Math.max(view.w / r.width, view.h / r.height);
  const ox = (r.width - view.w / s) / 2, oy = (r.height - view.h / s) / 2;
  return { x: view.x + (ev.clientX - r.left - ox) * s, y: view.y + (ev.clientY - r.top - oy) * s, s };
}

// Zoom with the wheel or the buttons, pan by dragging, and the move under
// the pointer named in the tooltip.
function hookPicture(svg, tl, rows) {
  svg.addEventListener("wheel", (ev) => {
    ev.preventDefault();
    const p = pointAt(svg, ev);
    zoom(svg, ev.deltaY > 0 ? 1.2 : 1 / 1.2, p.x, p.y);
  }, { passive: false });
  let drag = null;
  svg.addEventListener("pointerdown", (ev) => {
    drag = { x: ev.clientX, y: ev.clientY, vx: view.x, vy: view.y, s: pointAt(svg, ev).s };
    svg.setPointerCapture(ev.pointerId);
    svg.classList.add("panning");
  });
  svg.addEventListener("pointermove", (ev) => {
    if (drag) {
      view.x = drag.vx - (ev.clientX - drag.x) * drag.s;
      view.y = drag.vy - (ev.clientY - drag.y) * drag.s;
      setView(svg);
    }
  });
  const endDrag = () => { drag = null; svg.classList.remove("panning"); };
  svg.addEventListener("pointerup", endDrag);
  svg.addEventListener("pointercancel", endDrag);
  const tip = $("tooltip");
  let hot = null;
  svg.addEventListener("mouseover", (ev) => {
    const line = ev.target.closest("line.move");
    if (hot) hot.classList.remove("hot");
    hot = line;
    if (!line) { tip.hidden = true; return; }
    line.classList.add("hot");
    const m = tl.moves[Number(line.dataset.i)];
    const row = rows.get(m[5]);
    const act = tl.activities[m[4]];
    tip.textContent = row
      ? `entry ${m[5]} · ${row.keyword} · ${hms(row.start_ms)} (${msText(row.start_ms)}) to ${hms(row.end_ms)} (${msText(row.end_ms)})`
      : `entry ${m[5]}`;
    if (act) tip.textContent += ` · ${act.label}`;
    tip.hidden = false;
  });
  svg.addEventListener("mousemove", (ev) => {
    const box = svg.parentElement.parentElement.getBoundingClientRect();
    tip.style.left = `${Math.min(ev.clientX - box.left + 14, box.width - tip.offsetWidth - 4)}px`;
    tip.style.top = `${ev.clientY - box.top + 18}px`;
  });
  svg.addEventListener("mouseleave", () => { tip.hidden = true; if (hot) hot.classList.remove("hot"); });
  const centre = () => ({ x: view.x + view.w / 2, y: view.y + view.h / 2 });
  $("zoom-in").onclick = () => { const c = centre(); zoom(svg, 1 / 1.5, c.x, c.y); };
  $("zoom-out").onclick = () => { const c = centre(); zoom(svg, 1.5, c.x, c.y); };
  $("zoom-fit").onclick = () => { Object.assign(view, view.fit); setView(svg); };
}

// ---- Costs: (run time in hours + setup in hours) x rate, two decimals.

// The rate per hour, or null when none is given.
function rateSet() {
  const r = $("rate").value.trim() === "" ? NaN : Number($("rate").value);
  return Number.isFinite(r) && r >= 0 ? r : null;
}

// The setup minutes per job (0 unless a non-negative number is given).
function setupMinutes() {
  const m = Number($("setup").value);
  return Number.isFinite(m) && m >= 0 ? m : 0;
}

// The cost of the run time of a number of jobs (each with its setup) as
// "12.34", rounded to the nearest cent as the program rounds it; "" without
// a rate.
function costText(ms, count = 1) {
  const rate = rateSet();
  if (rate === null) return "";
  const cents = Math.round((ms / 3600000 + (setupMinutes() * count) / 60) * rate * 100);
  return (cents / 100).toFixed(2);
}

// ---- What if: the job at other settings.

// What a setting is called on the page, the range of its slider and the
// values a sweep of it runs.
function settingInfo(key) {
  const pen = /^VectorSpeed\.(\d+)$/.exec(key);
  // Speeds are per mille of the maximum: the machine goes no faster past 1000.
  const speeds = { min: 1, max: 1000, unit: "‰", sweep: [50, 1000, 50] };
  if (pen) return { ...speeds, label: `Pen ${pen[1]} speed` };
  if (key === "RasterSpeedX") return { ...speeds, label: "Raster speed X" };
  if (key === "RasterSpeedY") return { ...speeds, label: "Raster speed Y" };
  return { label: "Raster lines per pass", min: 1, max: 16, unit: "", sweep: [1, 16, 1] };
}

// The settings moved away from the job's own, as set= pairs.
function changedSettings(job, except) {
  return Object.entries(job.values || {})
    .filter(([k, v]) => k !== except && v !== job.timeline.settings[k])
    .map(([k, v]) => ["set", `${k}=${v}`]);
}

// One row per setting the job uses: a slider, the exact value, the job's
// own value and a sweep button.
function renderSettings(job) {
  const settings = job.timeline.settings || {};
  // A design's speeds are its import settings': the what-if is a job file's.
  $("whatif").hidden = Object.keys(settings).length === 0 || job.estimate.result !== "ok" ||
    !!job.design;
  $("settings").replaceChildren(...Object.keys(settings).map((key) => {
    const info = settingInfo(key);
    const row = el("div", "setting");
    row.dataset.key = key;
    const id = `set-${key.replace(/\W/g, "-")}`;
    const label = el("label", "", info.unit ? `${info.label}, ` : info.label);
    if (info.unit) label.append(perMille());
    label.htmlFor = id;
    const slider = Object.assign(el("input"), { type: "range", min: info.min, max: info.max, step: 1,
      value: job.values[key], id });
    slider.setAttribute("aria-label", info.label);
    const exact = Object.assign(el("input", "exact"), { type: "number", min: info.min,
      max: info.max, step: 1, value: job.values[key] });
    exact.setAttribute("aria-label", `${info.label}, exact value`);
    const own = el("span", "own", `job's own ${settings[key]}`);
    const sweep = el("button", "", "Sweep");
    sweep.type = "button";
    const moved = (value, from) => {
      // A box being cleared or holding what its slider cannot take waits.
      const valid = Number.isInteger(value) && value >= info.min && value <= info.max;
      exact.classList.toggle("bad", !valid);
      if (!valid) return;
      job.values[key] = value;
      if (from !== slider) slider.value = value;
      if (from !== exact) exact.value = value;
      row.classList.toggle("moved", value !== settings[key]);
      if (job.sweep && job.sweep.key === key) renderSweep(job);
      scheduleWhatIf(job);
    };
    slider.addEventListener("input", () => moved(Number(slider.value), slider));
    exact.addEventListener("input", () => moved(exact.value.trim() === "" ? NaN : Number(exact.value), exact));
    sweep.addEventListener("click", () => runSweep(job, key));
    row.classList.toggle("moved", job.values[key] !== settings[key]);
    row.append(label, slider, exact, own, sweep);
    return row;
  }));
}

// The sign of a speed, explained where it stands.
function perMille() {
  const sign = el("abbr", "", "‰");
  sign.title =
    "per mille: thousandths of the machine's maximum speed (1000 is full speed, 500 half)";
  return sign;
}

let whatIfTimer = 0;
let whatIfAsk = null;  // the estimate asked for last: {job, controller}

// Estimates the job at its settings again shortly after the last move.
function scheduleWhatIf(job) {
  clearTimeout(whatIfTimer);
  whatIfTimer = setTimeout(() => runWhatIf(job), 80);
}

// Estimates the job at the settings moved; an answer overtaken by a newer
// ask is dropped.
async function runWhatIf(job) {
  if (whatIfAsk) whatIfAsk.controller.abort();
  const set = changedSettings(job);
  job.whatif = set.length ? { running: true, set } : null;
  if (jobs[selected] === job) renderWhatIfTime(job);
  if (!set.length) return;
  const ask = { job, controller: new AbortController() };
  whatIfAsk = ask;
  try {
    job.whatif = { set, estimate: await post("v1/estimate", job, job.file, set, ask.controller.signal) };
  } catch (e) {
    if (e.name === "AbortError") return;
    job.whatif = { set, error: e.message };
  }
  if (whatIfAsk === ask) whatIfAsk = null;
  if (jobs[selected] === job) renderWhatIfTime(job);
}

// The element of that id, shown only when there is something to show in it.
function shownIf(id, something) {
  const box = $(id);
  box.hidden = !something;
  return box;
}

// The time at the settings moved, beside the job's own, with the difference.
function renderWhatIfTime(job) {
  const w = job.whatif;
  const box = shownIf("whatif-time", w);
  if (!w) return;
  box.className = "whatif-time";
  if (w.running) { box.textContent = "→ estimating…"; return; }
  if (w.error) { box.textContent = `→ ${w.error}`; box.classList.add("error"); return; }
  const ms = w.estimate.run_time_ms;
  const own = job.estimate.run_time_ms || 0;
  const d = ms - own;
  const sign = d < 0 ? "−" : "+";
  const pct = own > 0 ? ` ${sign}${(Math.abs(d) * 100 / own).toFixed(1)} %` : "";
  const cost = costText(ms);
  box.replaceChildren(el("span", "arrow", "→ "), el("span", "hms", hms(ms)),
    el("small", "ms", msText(ms)),
    el("small", d < 0 ? "delta faster" : "delta slower", `${sign}${hms(Math.abs(d))}${pct}`));
  if (cost) box.append(el("small", "cost", `cost ${cost}`));
  if (!w.estimate.complete) box.append(el("small", "delta slower", "stopped early"));
  box.title = `at ${w.set.map(([, v]) => v).join(", ")}`;
}

// The values a sweep of a setting runs: its range, with the job's own value
// and the one the control is at when they lie in it.
function sweepValues(job, key) {
  const info = settingInfo(key);
  const [from, to, step] = info.sweep;
  const values = new Set([job.timeline.settings[key], job.values[key]]);
  for (let v = from; v <= to; v += step) values.add(v);
  return [...values].filter((v) => v >= info.min && v <= info.max).sort((a, b) => a - b);
}

// Runs the job over the range of one setting, the other settings as the
// controls have them, and draws the run times.
async function runSweep(job, key) {
  job.sweep = { key, running: true };
  renderSweep(job);
  try {
    const query = [["key", key], ["values", sweepValues(job, key).join(",")], ...changedSettings(job, key)];
    job.sweep = { key, result: (await post("v1/sweep", job, job.file, query)).sweep };
  } catch (e) {
    job.sweep = { key, error: e.message };
  }
  if (jobs[selected] === job) renderSweep(job);
}

// Moves a setting's control to a value and estimates again.
function setSetting(job, key, value) {
  job.values[key] = value;
  renderSettings(job);
  renderSweep(job);
  runWhatIf(job);
}

$("whatif-reset").addEventListener("click", () => {
  const job = jobs[selected];
  if (!job || job.state !== "done") return;
  job.values = { ...job.timeline.settings };
  renderSettings(job);
  renderSweep(job);
  runWhatIf(job);
});

// A new rate or setup prices every time shown again; the page keeps them
// for the next visit.
for (const id of ["rate", "setup"]) {
  const saved = localStorage.getItem(`vemtrac.${id}`);
  if (saved !== null) $(id).value = saved;
  $(id).addEventListener("input", () => {
    localStorage.setItem(`vemtrac.${id}`, $(id).value);
    renderList();
    const job = jobs[selected];
    if (job && job.state === "done") {
      const est = job.estimate;
      const cost = est.run_time_ms !== null ? costText(est.run_time_ms) : "";
      $("estimate-cost").hidden = !cost;
      $("estimate-cost").textContent = cost ? `cost ${cost}` : "";
      renderWhatIfTime(job);
      renderSweep(job);
    }
  });
}

$("files").addEventListener("change", (ev) => { addFiles(ev.target.files); ev.target.value = ""; });
document.addEventListener("dragover", (ev) => { ev.preventDefault(); document.body.classList.add("dragging"); });
document.addEventListener("dragleave", (ev) => { if (!ev.relatedTarget) document.body.classList.remove("dragging"); });
document.addEventListener("drop", (ev) => {
  ev.preventDefault();
  document.body.classList.remove("dragging");
  if (ev.dataTransfer.files.length) addFiles(ev.dataTransfer.files);
});
