// The page of vemtrac serve: each job file chosen or dropped is sent to the
// service, which replays it through the machine; the page lists the jobs
// with their times and shows the one selected: its estimate, the head's
// moves on the table, where the time goes and the time remaining, and what
// if: the job at other pen speeds, raster speeds or banding, estimated
// again as a control moves, a sweep of one setting, and times as costs.
"use strict";

const SVG = "http://www.w3.org/2000/svg";
// {name, state, estimate, timeline, error, file, values, whatif, sweep}
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

// Estimates the files one after the other (the service runs one at a time).
async function addFiles(files) {
  const added = [...files].map((f) => ({ name: f.name, state: "waiting", file: f }));
  jobs.push(...added);
  if (selected < 0) selected = jobs.length - added.length;
  renderList();
  for (const job of added) {
    job.state = "running";
    renderList();
    try {
      job.estimate = await post("v1/estimate", job, job.file);
      // A timeline the service cannot give (too large for its memory) leaves
      // the estimate standing: the panels that draw it say why instead.
      job.timeline = await post("v1/timeline", job, job.file)
        .catch((e) => ({ error: e.message, settings: {}, activities: [] }));
      job.values = { ...job.timeline.settings };
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

// How the job ended, in a few words.
function endText(est) {
  if (est.result === "refused") return "The machine refused the job";
  if (est.result === "unreadable") return `Unreadable: ${est.reason}`;
  if (est.complete) return "Ran to the end of the job file";
  const s = est.stopped_at || {};
  return `Stopped at entry ${s.entry} (${s.keyword}): ${s.reason}`;
}

function renderList() {
  const list = $("jobs");
  list.replaceChildren();
  let total = 0, counted = 0, estimated = 0;
  jobs.forEach((job, i) => {
    const li = el("li", i === selected ? "selected" : "");
    li.append(el("span", "name", job.name));
    const est = job.estimate;
    li.append(el("span", "t", est && est.run_time_ms !== null ? hms(est.run_time_ms) : ""));
    let state = job.state === "done" ? (est.complete ? "complete" : "stopped") : job.state;
    let text = { waiting: "waiting", running: "estimating…", complete: msText(est && est.run_time_ms) }[state];
    if (state === "stopped") text = `${msText(est.run_time_ms || 0)}, stopped at entry ${est.stopped_at ? est.stopped_at.entry : "?"}`;
    if (state === "error") text = job.error;
    if (est && est.run_time_ms !== null && costText(est.run_time_ms)) text += ` · cost ${costText(est.run_time_ms)}`;
    li.append(el("span", `state ${state}`, text));
    li.addEventListener("click", () => { selected = i; renderList(); renderDetail(); });
    list.append(li);
    if (est && est.run_time_ms) { total += est.run_time_ms; counted++; }
    if (est && est.result === "ok") estimated++;
  });
  $("hint").hidden = jobs.length > 0;
  const t = $("total");
  t.hidden = counted < 2;
  // Each job estimated has its own setup, as the program's total counts it.
  t.replaceChildren(el("span", "", `Total of ${counted} jobs`), el("span", "", `${hms(total)} · ${msText(total)}`));
  if (rateSet() !== null) t.append(el("span", "cost", `cost ${costText(total, estimated)}`));
}

function renderDetail() {
  const job = jobs[selected];
  const ready = job && job.state === "done";
  $("detail").hidden = !ready;
  if (!ready) return;
  const est = job.estimate;
  $("job-name").textContent = job.name;
  $("estimate-hms").textContent = est.run_time_ms !== null ? hms(est.run_time_ms) : "–";
  $("estimate-ms").textContent = est.run_time_ms !== null ? msText(est.run_time_ms) : "";
  const cost = est.run_time_ms !== null ? costText(est.run_time_ms) : "";
  $("estimate-cost").hidden = !cost;
  $("estimate-cost").textContent = cost ? `cost ${cost}` : "";
  $("job-end").textContent = endText(est);
  $("job-end").className = est.complete ? "ok" : "stopped";
  const warnings = $("warnings");
  warnings.replaceChildren(...(est.warnings || []).map((w) =>
    el("li", "", typeof w === "string" ? w : (w.message || w.text || JSON.stringify(w)))));
  renderFigures(est);
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

function renderFigures(est) {
  const rows = [["Ticks", est.ticks.toLocaleString("en-US")], ["Vectors planned", est.vectors_planned],
    ["Raster lines", est.raster_lines], ["Cut", `${est.cut_mm.toFixed(1)} mm`],
    ["Travel", `${est.travel_mm.toFixed(1)} mm`]];
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

// The head's moves to scale on the table, plot-bed origin at the lower left.
function renderPicture(tl, est) {
  const [tw, th] = tl.table_mm;
  const rows = new Map(tl.timeline.map((r) => [r.entry, r]));
  const svg = svgEl("svg", { viewBox: `0 0 ${tw} ${th}`, preserveAspectRatio: "xMidYMid meet",
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
  view = { x: 0, y: 0, w: tw, h: th, tw, th };
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
  $("zoom-fit").onclick = () => { Object.assign(view, { x: 0, y: 0, w: view.tw, h: view.th }); setView(svg); };
}

// The time left after each entry that moves the head, against the time run.
function renderRemaining(tl, est) {
  const total = Math.max(1, est.run_time_ms || 0);
  const W = 1000, H = 170, L = 60, B = 24, T = 8;
  const x = (ms) => L + ((W - L - 8) * ms) / total;
  const y = (ms) => T + ((H - T - B) * (total - ms)) / total;
  const pts = [[x(0), y(total)]];
  for (const r of tl.timeline) {
    pts.push([x(r.start_ms), y(Math.max(0, total - r.start_ms))]);
    pts.push([x(r.end_ms), y(Math.max(0, total - r.end_ms))]);
  }
  pts.push([x(total), y(0)]);
  const d = pts.map((p, i) => `${i ? "L" : "M"}${p[0].toFixed(1)} ${p[1].toFixed(1)}`).join(" ");
  const svg = svgEl("svg", { viewBox: `0 0 ${W} ${H}`, role: "img", "aria-label": "time remaining" });
  svg.append(svgEl("path", { class: "area", d: `${d} L${x(total)} ${y(0)} L${x(0)} ${y(0)} Z` }));
  svg.append(svgEl("path", { class: "curve", d }));
  svg.append(svgEl("line", { class: "axis", x1: L, y1: y(0), x2: W - 8, y2: y(0) }));
  svg.append(svgEl("line", { class: "axis", x1: L, y1: T, x2: L, y2: y(0) }));
  for (let i = 0; i <= 4; i++) {
    const ms = (total * i) / 4;
    const tx = svgEl("text", { x: x(ms), y: H - 6, "text-anchor": i === 0 ? "start" : i === 4 ? "end" : "middle" });
    tx.textContent = hms(ms);
    const ty = svgEl("text", { x: L - 6, y: y(ms) + 4, "text-anchor": "end" });
    ty.textContent = hms(ms);
    svg.append(tx, ty);
  }
  $("remaining").replaceChildren(svg);
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
  const speeds = { min: 1, max: 1000, field: 65535, unit: "‰", sweep: [50, 1000, 50] };
  if (pen) return { ...speeds, label: `Pen ${pen[1]} speed` };
  if (key === "RasterSpeedX") return { ...speeds, label: "Raster speed X" };
  if (key === "RasterSpeedY") return { ...speeds, label: "Raster speed Y" };
  return { label: "Raster lines per pass", min: 1, max: 16, field: 255, unit: "", sweep: [1, 16, 1] };
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
  $("whatif").hidden = Object.keys(settings).length === 0;
  $("settings").replaceChildren(...Object.keys(settings).map((key) => {
    const info = settingInfo(key);
    const row = el("div", "setting");
    row.dataset.key = key;
    const id = `set-${key.replace(/\W/g, "-")}`;
    const label = el("label", "", info.unit ? `${info.label}, ${info.unit}` : info.label);
    label.htmlFor = id;
    const slider = Object.assign(el("input"), { type: "range", min: info.min, max: info.max, step: 1,
      value: job.values[key], id });
    slider.setAttribute("aria-label", info.label);
    const exact = Object.assign(el("input", "exact"), { type: "number", min: 0, max: info.field, step: 1,
      value: job.values[key] });
    exact.setAttribute("aria-label", `${info.label}, exact value`);
    const own = el("span", "own", `job's own ${settings[key]}`);
    const sweep = el("button", "", "Sweep");
    sweep.type = "button";
    const moved = (value, from) => {
      // A box being cleared or holding what the setting cannot take waits.
      const valid = Number.isInteger(value) && value >= 0 && value <= info.field;
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
// and the one the control is at.
function sweepValues(job, key) {
  const [from, to, step] = settingInfo(key).sweep;
  const values = new Set([job.timeline.settings[key], job.values[key]]);
  for (let v = from; v <= to; v += step) values.add(v);
  return [...values].sort((a, b) => a - b);
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

// The sweep's chart: run time against the setting's value, the job's own
// value and the control's marked, each point's time and cost on hover; a
// point clicked moves the control there.
function renderSweep(job) {
  const sw = job.sweep;
  const box = shownIf("sweep", sw);
  if (!sw) return;
  const info = settingInfo(sw.key);
  $("sweep-title").textContent = `Run time against ${info.label.toLowerCase()}`;
  if (!sw.result) {
    $("sweep-chart").replaceChildren(el("p", sw.error ? "error" : "hint", sw.error || "sweeping…"));
    return;
  }
  const pts = sw.result.points;
  const own = job.timeline.settings[sw.key];
  const W = 1000, H = 240, L = 72, R = 16, T = 26, B = 40;
  const lo = Math.min(...pts.map((p) => p.value)), hi = Math.max(...pts.map((p) => p.value));
  // The run times fill the height: a setting that changes the time by a
  // second still shows how.
  const times = niceTicks(Math.min(...pts.map((p) => p.run_time_ms)), Math.max(...pts.map((p) => p.run_time_ms)));
  const fewest = times[0], most = times[times.length - 1];
  const x = (v) => L + ((W - L - R) * (v - lo)) / Math.max(1, hi - lo);
  const y = (ms) => T + ((H - T - B) * (most - ms)) / Math.max(1, most - fewest);
  const timeLabel = most - fewest >= 20000 ? hms : (ms) => `${(ms / 1000).toFixed(most - fewest >= 2000 ? 0 : 1)} s`;
  const svg = svgEl("svg", { viewBox: `0 0 ${W} ${H}`, role: "img",
    "aria-label": `run time at ${pts.length} values of ${info.label}` });
  const base = y(fewest);
  svg.append(svgEl("line", { class: "axis", x1: L, y1: base, x2: W - R, y2: base }));
  svg.append(svgEl("line", { class: "axis", x1: L, y1: T, x2: L, y2: base }));
  const mark = (v, cls, text) => {
    svg.append(svgEl("line", { class: cls, x1: x(v), y1: T - 6, x2: x(v), y2: base }));
    const t = svgEl("text", { class: cls, x: x(v), y: T - 10, "text-anchor": x(v) > W - 80 ? "end" : "middle" });
    t.textContent = text;
    svg.append(t);
  };
  mark(own, "own", `own ${own}`);
  if (job.values[sw.key] !== own) mark(job.values[sw.key], "now", `now ${job.values[sw.key]}`);
  svg.append(svgEl("path", { class: "curve",
    d: pts.map((p, i) => `${i ? "L" : "M"}${x(p.value).toFixed(1)} ${y(p.run_time_ms).toFixed(1)}`).join(" ") }));
  for (const p of pts) {
    const dot = svgEl("circle", { class: `point${p.complete ? "" : " stopped"}${p.value === own ? " own" : ""}`,
      cx: x(p.value), cy: y(p.run_time_ms), r: 5, "data-value": p.value, "data-ms": p.run_time_ms });
    const title = svgEl("title");
    const cost = costText(p.run_time_ms);
    title.textContent = `${info.label} ${p.value}: ${hms(p.run_time_ms)} (${msText(p.run_time_ms)})` +
      `${cost ? ` · cost ${cost}` : ""}${p.complete ? "" : " · stopped early"}`;
    dot.append(title);
    dot.addEventListener("click", () => setSetting(job, sw.key, p.value));
    svg.append(dot);
  }
  for (const v of niceTicks(lo, hi).filter((v) => v >= lo && v <= hi)) {
    const tx = svgEl("text", { x: x(v), y: H - 22, "text-anchor": "middle" });
    tx.textContent = v;
    svg.append(tx);
  }
  for (const ms of times) {
    svg.append(svgEl("line", { class: "grid", x1: L, y1: y(ms), x2: W - R, y2: y(ms) }));
    const ty = svgEl("text", { x: L - 6, y: y(ms) + 4, "text-anchor": "end" });
    ty.textContent = timeLabel(ms);
    svg.append(ty);
  }
  const caption = svgEl("text", { x: (L + W - R) / 2, y: H - 4, "text-anchor": "middle", class: "caption" });
  caption.textContent = `${info.label}${info.unit ? ` (${info.unit} of the maximum)` : ""}`;
  svg.append(caption);
  $("sweep-chart").replaceChildren(svg);
}

// Round steps from below lo to above hi, about five: 1, 2 or 5 times a
// power of ten apart.
function niceTicks(lo, hi) {
  if (hi <= lo) return [lo - 1, lo, lo + 1];
  const rough = (hi - lo) / 5;
  const power = 10 ** Math.floor(Math.log10(rough));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= rough);
  const ticks = [];
  for (let v = Math.floor(lo / step) * step; v < hi + step; v += step) ticks.push(v);
  return ticks;
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
