// The page's charts: the time left as the head moves along the job, and a
// sweep's run time against a setting's value. Loaded before app.js, whose
// helpers ($, el, svgEl, hms, msText, activityColour, costText,
// settingInfo, shownIf, setSetting) they call when they draw.
"use strict";

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

// Time ticks in ms from 0 to at least total, about five, at steps a clock
// reads well: 1, 2, 5, 10, 15 or 30 seconds or minutes, or whole hours.
function timeTicks(total) {
  const steps = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 18000, 36000]
    .map((s) => s * 1000);
  const step = steps.find((s) => total / s <= 6) || Math.ceil(total / 6 / 86400000) * 86400000;
  const ticks = [0];
  while (ticks[ticks.length - 1] < total) ticks.push(ticks[ticks.length - 1] + step);
  return ticks;
}

// The job entry by entry: after each entry that moves the head, the
// distance the head has moved so far (mm), the time left (ms) and the
// activity that moved it furthest in that entry.
function progressPoints(tl, total) {
  const along = new Map();
  for (const m of tl.moves) {
    const mm = Math.hypot(m[2] - m[0], m[3] - m[1]);
    const e = along.get(m[5]) || { mm: 0, by: new Map() };
    e.mm += mm;
    e.by.set(m[4], (e.by.get(m[4]) || 0) + mm + 1e-9);
    along.set(m[5], e);
  }
  let mm = 0;
  const pts = [{ mm: 0, entry: 0, left: total, activity: -1 }];
  for (const r of tl.timeline) {
    const e = along.get(r.entry);
    let activity = pts[pts.length - 1].activity, most = -1;
    if (e) {
      mm += e.mm;
      for (const [a, d] of e.by) if (d > most) { most = d; activity = a; }
    }
    pts.push({ mm, left: Math.max(0, total - r.end_ms), activity, entry: r.entry,
      keyword: r.keyword });
  }
  return pts;
}

// What the chart runs along: the distance the head has moved, or the
// entries of the job file.
let along = "distance";
const ALONG = {
  distance: { x: (p) => p.mm,
    caption: "distance the head has moved, mm (cutting, travel and raster passes alike)" },
  entries: { x: (p) => p.entry,
    caption: "entry of the job file (the entries that move the head, in file order)" },
};
for (const mode of Object.keys(ALONG)) {
  document.getElementById(`along-${mode}`).addEventListener("click", () => {
    along = mode;
    const job = jobs[selected];
    if (job && job.state === "done" && job.estimate.result === "ok") {
      renderRemaining(job.timeline, job.estimate);
    }
  });
}

// The curve as one path per run of entries of the same activity, points
// closer than half a pixel to the last one kept merged.
function activityRuns(pts, px, py) {
  const runs = [];
  let run = null;
  for (let i = 1; i < pts.length; i++) {
    const p = pts[i];
    const xy = [px(p), py(p.left)];
    if (!run || run.activity !== p.activity) {
      const q = pts[i - 1];
      run = { activity: p.activity, xy: [[px(q), py(q.left)]] };
      runs.push(run);
    }
    const last = run.xy[run.xy.length - 1];
    const end = i + 1 === pts.length || pts[i + 1].activity !== p.activity;
    const moved = Math.abs(xy[0] - last[0]) >= 0.5 || Math.abs(xy[1] - last[1]) >= 0.5;
    if (end || moved) run.xy.push(xy);
  }
  return runs;
}

// The time left as the head moves along the job: where the curve falls
// steeply, the head is slow for its distance (a slow pen, short moves,
// corners); where it runs flat, the head covers ground fast. Each stretch
// has the colour of its activity; the dashed line is the same job at one
// even pace. Along the entries instead, a steep stretch is a few entries
// that take long.
function renderRemaining(tl, est) {
  const box = $("remaining");
  const total = est.run_time_ms || 0;
  const pts = total > 0 ? progressPoints(tl, total) : [];
  const mode = ALONG[along];
  for (const m of Object.keys(ALONG)) $(`along-${m}`).classList.toggle("on", m === along);
  const end = pts.length ? mode.x(pts[pts.length - 1]) : 0;
  if (!total || end <= 0) {
    box.replaceChildren(el("p", "hint", total
      ? "The head does not move: there is no distance to show."
      : "The job moves nothing: there is no time to show."));
    return;
  }
  const W = 1000, H = 250, L = 64, R = 24, T = 12, B = 42;
  const xs = niceTicks(0, end).filter((v) => v >= 0 && v <= end);
  const ys = timeTicks(total).filter((ms) => ms <= total);
  const px = (p) => L + ((W - L - R) * mode.x(p)) / end;
  const py = (ms) => T + ((H - T - B) * (total - ms)) / total;
  const svg = svgEl("svg", { viewBox: `0 0 ${W} ${H}`, role: "img",
    "aria-label": `time left along the job, by ${along}` });
  for (const ms of ys) {
    svg.append(svgEl("line", { class: "grid", x1: L, y1: py(ms), x2: W - R, y2: py(ms) }));
    const t = svgEl("text", { x: L - 6, y: py(ms) + 4, "text-anchor": "end" });
    t.textContent = hms(ms);
    svg.append(t);
  }
  const at = (v) => L + ((W - L - R) * v) / end;
  for (const v of xs) {
    const anchor = at(v) > W - 40 ? "end" : "middle";
    const t = svgEl("text", { x: at(v), y: H - 24, "text-anchor": anchor });
    t.textContent = v.toLocaleString("en-US");
    svg.append(t);
  }
  const caption = svgEl("text", { class: "caption", x: (L + W - R) / 2, y: H - 6,
    "text-anchor": "middle" });
  caption.textContent = mode.caption;
  svg.append(caption, svgEl("line", { class: "axis", x1: L, y1: py(0), x2: W - R, y2: py(0) }),
    svgEl("line", { class: "axis", x1: L, y1: T, x2: L, y2: py(0) }),
    svgEl("line", { class: "even", x1: at(0), y1: py(total), x2: at(end), y2: py(0) }));
  for (const run of activityRuns(pts, px, py)) {
    const a = est.activities[run.activity] || { kind: "other" };
    svg.append(svgEl("polyline", { class: "curve", stroke: activityColour(a),
      points: run.xy.map(([x, y]) => `${x.toFixed(1)},${y.toFixed(1)}`).join(" ") }));
  }
  const guide = svgEl("line", { class: "guide", y1: T, y2: py(0), visibility: "hidden" });
  const dot = svgEl("circle", { class: "dot", r: 4, visibility: "hidden" });
  svg.append(guide, dot);
  const readout = el("p", "readout", "Point at the curve for the entry there. Steep: the " +
    "head is slow for the ground it covers; flat: it moves fast. Dashed: the same time at one " +
    "even pace.");
  hookRemaining(svg, pts, px, py, { guide, dot, readout, tl, end, x: mode.x, W, L, R });
  box.replaceChildren(svg, remainingLegend(tl, est), readout);
}

// The legend: each activity's colour, name and time.
function remainingLegend(tl, est) {
  const legend = el("ul", "legend");
  est.activities.forEach((a, i) => {
    const item = el("li");
    const swatch = el("span", "swatch");
    swatch.style.background = activityColour(a);
    const label = tl.activities[i] ? tl.activities[i].label : a.kind;
    item.append(swatch, `${label} ${hms(a.ticks * 0.4)}`);
    legend.append(item);
  });
  return legend;
}

// The entry under the pointer: its place on the curve and what it is.
function hookRemaining(svg, pts, px, py, h) {
  svg.addEventListener("mousemove", (ev) => {
    const r = svg.getBoundingClientRect();
    const want = ((ev.clientX - r.left) * (h.W / r.width) - h.L) / (h.W - h.L - h.R) * h.end;
    let lo = 1, hi = pts.length - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (h.x(pts[mid]) < want) lo = mid + 1; else hi = mid;
    }
    const p = pts[lo];
    if (!p) return;
    for (const k of ["x1", "x2"]) h.guide.setAttribute(k, px(p));
    h.dot.setAttribute("cx", px(p));
    h.dot.setAttribute("cy", py(p.left));
    h.guide.setAttribute("visibility", "visible");
    h.dot.setAttribute("visibility", "visible");
    const act = h.tl.activities[p.activity];
    const mm = Math.round(p.mm).toLocaleString("en-US");
    h.readout.textContent = `entry ${p.entry} · ${p.keyword} · ${mm} mm along · ` +
      `${hms(p.left)} left${act ? ` · ${act.label}` : ""}`;
  });
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
  if (own >= lo && own <= hi) mark(own, "own", `own ${own}`);
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
