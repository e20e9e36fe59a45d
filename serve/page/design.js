// The page's designs: an SVG, DXF, plot file, PNG or JPEG dropped beside the
// job files is imported by the service and estimated as the job it imports
// to. Its import settings (each colour's pen, the pens' speeds in mm/s and
// passes, the cutting order and the curves' tolerance; a picture's lines and
// dots per inch, its own density, direction, blank rows and engraving speed;
// the placement on the table) are shown here, and a changed one imports and
// estimates the design again at once. Loaded after app.js, whose helpers
// ($, el, post, jobs, selected, renderList, renderDetail) it calls.
"use strict";

// The lines per inch the machine steps evenly that a picture may take.
const LPI_CHOICES = [127, 254, 304, 381, 508, 609, 762, 1016];

// Each setting's box: its range, as the import takes it.
const IMPORT_RANGES = {
  speed: { min: 0.5, max: 1016, step: "any" },
  passes: { min: 1, max: 100, step: 1 },
  raster_speed: { min: 2.032, max: 2032, step: "any" },
  at_x: { min: 0, max: 640, step: "any" },
  at_y: { min: 0, max: 460, step: "any" },
  tolerance: { min: 0.001, max: 10, step: "any" },
  dpi: { min: 1, max: 3048, step: 1 },
  image_dpi: { min: 1, max: 100000, step: "any" },
};

// A design's settings moved from what the import does by itself.
function freshImport() {
  return { pen: {}, speed: {}, passes: {}, order: "document", lpi: 254, one_way: false,
    keep_blank: false, raster_speed: "", at_x: "", at_y: "", tolerance: "", dpi: "",
    image_dpi: "" };
}

// The import settings of a design as the query names them: [name, value].
function importQuery(job) {
  const s = job.importSettings;
  if (!s) return [];
  const q = Object.entries(s.pen).map(([source, pen]) => ["pen", `${source}=${pen}`]);
  for (const [pen, v] of Object.entries(s.speed)) q.push(["speed", `${pen}=${v}`]);
  for (const [pen, k] of Object.entries(s.passes)) q.push(["passes", `${pen}=${k}`]);
  if (s.order !== "document") q.push(["order", s.order]);
  if (s.lpi !== 254) q.push(["lpi", s.lpi]);
  if (s.one_way) q.push(["one_way", "true"]);
  if (s.keep_blank) q.push(["keep_blank", "true"]);
  if (s.raster_speed !== "") q.push(["raster_speed", s.raster_speed]);
  // Placement: a corner given alone keeps the other at the table's edge.
  if (s.at_x !== "" || s.at_y !== "") q.push(["at", `${s.at_x || 0},${s.at_y || 0}`]);
  for (const name of ["tolerance", "dpi", "image_dpi"]) {
    if (s[name] !== "") q.push([name, s[name]]);
  }
  return q;
}

// Whether a design's summary is of a picture (raster images), not vectors.
const isPicture = (d) => d.format === "png" || d.format === "jpeg";

// Estimates a job or a design with its import settings: the estimate, the
// timeline and, for a design, the import's summary (from the timeline, or
// asked for when the timeline cannot be had).
async function estimateJob(job, signal) {
  const q = importQuery(job);
  const estimate = await post("v1/estimate", job, job.file, q, signal);
  const timeline = await post("v1/timeline", job, job.file, q, signal).catch((e) => {
    if (e.name === "AbortError") throw e;
    return { error: e.message, settings: {}, activities: [] };
  });
  let design = timeline.design;
  if (timeline.error) {
    design = await post("v1/import", job, job.file, q, signal)
      .then((d) => d.summary, (e) => { if (e.name === "AbortError") throw e; });
  }
  return { estimate, timeline, design };
}

let importTimer = 0;
let importAsk = null;  // the import asked for last: its AbortController

// Imports and estimates the design again shortly after the last change.
function scheduleImport(job) {
  clearTimeout(importTimer);
  job.importState = "importing and estimating…";
  renderImportState(job);
  importTimer = setTimeout(() => reimport(job), 120);
}

// Imports and estimates the design at its settings; an answer overtaken by
// a newer ask is dropped, and one that fails leaves the last estimate up.
async function reimport(job) {
  if (importAsk) importAsk.abort();
  const controller = new AbortController();
  importAsk = controller;
  try {
    const got = await estimateJob(job, controller.signal);
    Object.assign(job, got, { values: { ...got.timeline.settings }, importState: "" });
  } catch (e) {
    if (e.name === "AbortError") return;
    job.importState = e.message;
  }
  if (importAsk === controller) importAsk = null;
  renderList();
  if (jobs[selected] === job) renderDetail();
}

// What the picture of a design's job shows at first, SVG coordinates (mm,
// Y down): what it cuts or engraves (not the travel to it from the head's
// home) with a margin around; null when it does neither.
function designView(tl) {
  const th = tl.table_mm[1];
  let x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
  for (const m of tl.moves) {
    const kind = (tl.activities[m[4]] || {}).kind;
    if (kind === "travel" || kind === "raster_carriage") continue;
    x0 = Math.min(x0, m[0], m[2]); x1 = Math.max(x1, m[0], m[2]);
    y0 = Math.min(y0, m[1], m[3]); y1 = Math.max(y1, m[1], m[3]);
  }
  if (!(x1 >= x0)) return null;
  const pad = Math.max(5, 0.1 * Math.max(x1 - x0, y1 - y0));
  return { x: x0 - pad, y: th - y1 - pad, w: x1 - x0 + 2 * pad, h: y1 - y0 + 2 * pad };
}

// The design's figures beside the estimate's: its format, size and place.
function designFigures(job) {
  const d = job.design;
  if (!d) return [];
  const rows = [["Design", d.format.toUpperCase()],
    ["Size", `${d.width_mm.toFixed(1)} × ${d.height_mm.toFixed(1)} mm`],
    ["At", `${d.x_mm.toFixed(1)}, ${d.y_mm.toFixed(1)} mm`]];
  if (d.picture) rows.push(["Picture", `${d.picture.width_px} × ${d.picture.height_px} px`]);
  return rows;
}

// Says what the import is doing, or why it failed, in the panel.
function renderImportState(job) {
  if (jobs[selected] !== job) return;
  const box = $("import-state");
  box.hidden = !job.importState;
  box.textContent = job.importState || "";
  box.classList.toggle("error", !!job.importState && !job.importState.endsWith("…"));
}

// The panel of a design's import settings; built again only when its rows
// change (a pen given to a colour), so that a box being typed in keeps its
// place; the hints beside the boxes follow each estimate.
function renderImport(job) {
  const d = job.design;
  $("import").hidden = !d;
  if (!d) return;
  const rows = isPicture(d) ? "picture"
    : JSON.stringify(d.pens.map((p) => [p.pen, p.sources]));
  const box = $("import-settings");
  if (box.dataset.job !== String(job.key) || box.dataset.rows !== rows) {
    box.dataset.job = job.key;
    box.dataset.rows = rows;
    box.className = isPicture(d) ? "import-settings raster" : "import-settings vector";
    box.replaceChildren(...(isPicture(d) ? rasterControls(job) : vectorControls(job)));
  }
  for (const hint of box.querySelectorAll("[data-hint]")) {
    hint.textContent = hintText(job, hint);
    // A pen's colour in the picture and the charts.
    if (hint.dataset.hint !== "raster") hint.prepend(swatchOf(PENS[Number(hint.dataset.hint)]));
  }
  const preview = $("import-preview");
  preview.hidden = !job.preview;
  if (job.preview && preview.src !== job.preview) preview.src = job.preview;
  renderImportState(job);
}

// A small square of a colour.
function swatchOf(colour) {
  const swatch = el("span", "swatch");
  swatch.style.background = colour;
  return swatch;
}

// The text beside a pen's or a picture's controls, from the last import.
function hintText(job, hint) {
  const d = job.design;
  if (hint.dataset.hint === "raster") {
    const images = d.images.length;
    return `${d.lines.toLocaleString("en-US")} lines in ${images} image${images === 1 ? "" : "s"}` +
      ` · engraves at ${d.raster_speed_mm_s.toFixed(1)} mm/s`;
  }
  const pen = d.pens.find((p) => p.pen === Number(hint.dataset.hint));
  if (!pen) return "";
  return `${pen.speed_mm_s.toFixed(1)} mm/s, code ${pen.speed_code} · ` +
    `${pen.cut_mm_per_pass.toFixed(1)} mm a pass`;
}

// A number box of one of the ranges; changed calls back with a valid value
// ("" when cleared, for the import's own), and a value out of range waits.
function numberBox(kind, value, placeholder, label, changed) {
  const r = IMPORT_RANGES[kind];
  const box = Object.assign(el("input", "exact"), { type: "number", min: r.min, max: r.max,
    step: r.step, value, placeholder });
  box.setAttribute("aria-label", label);
  box.addEventListener("input", () => {
    const text = box.value.trim();
    const v = Number(text);
    const valid = text === "" || (Number.isFinite(v) && v >= r.min && v <= r.max &&
      (r.step === "any" || Number.isInteger(v)));
    box.classList.toggle("bad", !valid);
    if (valid) changed(text === "" ? "" : v);
  });
  return box;
}

// A choice among values, each with its words.
function choiceBox(choices, value, label, changed) {
  const select = el("select");
  select.setAttribute("aria-label", label);
  for (const [v, words] of choices) {
    select.append(Object.assign(el("option", "", words), { value: v }));
  }
  select.value = String(value);
  select.addEventListener("change", () => changed(select.value));
  return select;
}

// A labelled row of the panel: the words, the control, the hint.
function importRow(words, control, hint = null, swatch = null) {
  const row = el("div", "setting");
  const label = el("label", "", words);
  if (swatch) label.prepend(swatch);
  row.append(label, control, hint || el("span"));
  return row;
}

// Marks a change and imports again.
function changeImport(job, apply) {
  apply(job.importSettings);
  scheduleImport(job);
}

// One row per colour, layer or plot pen: its pen, the pen's speed in mm/s
// and passes; and the cutting order.
function vectorControls(job) {
  const s = job.importSettings;
  const rows = [el("span", "head", "Colour or layer"), el("span", "head", "Pen"),
    el("span", "head", "Speed, mm/s"), el("span", "head", "Passes"), el("span", "head", "")];
  const pens = Array.from({ length: 16 }, (_, i) => [i + 1, `pen ${i + 1}`]);
  for (const p of job.design.pens) {
    for (const source of p.sources) {
      const label = el("label", "", source);
      if (/^#[0-9a-f]{6}$/i.test(source)) label.prepend(swatchOf(source));
      const pen = choiceBox(pens, p.pen, `${source}: pen`, (v) => changeImport(job, (x) => {
        // Every colour keeps its pen: the import would give the others free ones.
        for (const q of job.design.pens) for (const c of q.sources) x.pen[c] ??= q.pen;
        x.pen[source] = Number(v);
      }));
      const speed = numberBox("speed", s.speed[p.pen] ?? "", p.speed_mm_s.toFixed(1),
        `${source}: pen ${p.pen} speed, mm/s`, (v) => changeImport(job, (x) => {
          if (v === "") delete x.speed[p.pen]; else x.speed[p.pen] = v;
        }));
      const passes = numberBox("passes", p.passes, "1", `${source}: passes`,
        (v) => changeImport(job, (x) => {
          if (v === "" || v === 1) delete x.passes[p.pen]; else x.passes[p.pen] = v;
        }));
      const hint = el("span", "own");
      hint.dataset.hint = p.pen;
      rows.push(label, pen, speed, passes, hint);
    }
  }
  const order = choiceBox([["document", "as drawn"], ["travel", "shortest travel"],
    ["inside", "inner contours first"]], s.order, "Cutting order",
  (v) => changeImport(job, (x) => { x.order = v; }));
  const tolerance = numberBox("tolerance", s.tolerance, "0.025", "Curve tolerance, mm",
    (v) => changeImport(job, (x) => { x.tolerance = v; }));
  const wide = [importRow("Cutting order", order),
    importRow("Placement, mm", placementBoxes(job)),
    importRow("Curve tolerance, mm", tolerance)];
  for (const row of wide) row.classList.add("wide");
  return [...rows, ...wide];
}

// The top-left corner's X and Y on the table, mm (empty: the table's origin).
function placementBoxes(job) {
  const s = job.importSettings;
  const pair = el("span", "pair");
  for (const [axis, words] of [["at_x", "X"], ["at_y", "Y"]]) {
    pair.append(numberBox(axis, s[axis], "0", `Placement ${words}, mm`,
      (v) => changeImport(job, (x) => { x[axis] = v; })));
  }
  return pair;
}

// A picture's raster settings: lines per inch, direction, blank rows and
// margins, engraving speed.
function rasterControls(job) {
  const s = job.importSettings;
  const hint = el("span", "own");
  hint.dataset.hint = "raster";
  return [
    importRow("Lines per inch", choiceBox(LPI_CHOICES.map((v) => [v, String(v)]), s.lpi,
      "Lines per inch", (v) => changeImport(job, (x) => { x.lpi = Number(v); })), hint),
    importRow("Direction", choiceBox([["both", "both directions"], ["one", "one way"]],
      s.one_way ? "one" : "both", "Direction",
      (v) => changeImport(job, (x) => { x.one_way = v === "one"; }))),
    importRow("Blank rows and margins", choiceBox([["skip", "left out"],
      ["keep", "engraved as drawn"]], s.keep_blank ? "keep" : "skip", "Blank rows and margins",
    (v) => changeImport(job, (x) => { x.keep_blank = v === "keep"; }))),
    importRow("Engraving speed, mm/s", numberBox("raster_speed", s.raster_speed,
      job.design.raster_speed_mm_s.toFixed(1), "Engraving speed, mm/s",
      (v) => changeImport(job, (x) => { x.raster_speed = v; }))),
    importRow("Dots per inch across", numberBox("dpi", s.dpi, "300", "Dots per inch across",
      (v) => changeImport(job, (x) => { x.dpi = v; }))),
    importRow("Picture's pixels per inch", numberBox("image_dpi", s.image_dpi,
      pictureDensity(job.design), "Picture's pixels per inch",
      (v) => changeImport(job, (x) => { x.image_dpi = v; }))),
    importRow("Placement, mm", placementBoxes(job)),
  ];
}

// The density the picture is taken at when none is set: its own, or 96.
function pictureDensity(d) {
  const own = d.picture && d.picture.dpi_x;
  return own ? String(Math.round(own * 100) / 100) : "96";
}

let importKeys = 0;

// The largest design shown as drawn beside its settings.
const PREVIEW_BYTES = 8 << 20;
const PREVIEW_TYPES = { svg: "image/svg+xml", png: "image/png", jpeg: "image/jpeg" };

// The design's file as a data: address an image shows, or "" for a file
// no browser draws (DXF, plot files) or one too large.
function previewOf(job) {
  const type = PREVIEW_TYPES[job.design.format];
  if (!type || job.file.size > PREVIEW_BYTES) return Promise.resolve("");
  return new Promise((resolve) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result));
    reader.onerror = () => resolve("");
    reader.readAsDataURL(new Blob([job.file], { type }));
  });
}

// Takes a job's first answers: a design gets its settings, at the import's
// own, and its picture as drawn.
async function startImport(job) {
  if (job.design && !job.importSettings) {
    job.importSettings = freshImport();
    job.key = ++importKeys;
    job.preview = await previewOf(job);
  }
}

$("import-reset").addEventListener("click", () => {
  const job = jobs[selected];
  if (!job || !job.importSettings) return;
  job.importSettings = freshImport();
  $("import-settings").dataset.job = "";
  scheduleImport(job);
});
