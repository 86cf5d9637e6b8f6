// The playground: markup on the left; its text, runs, HTML and findings on the right, as one types.
// The markup to start with comes from the fragment: #markup=URL-encoded&mode=lenient.
(function () {
  "use strict";
  const $ = (id) => document.getElementById(id);
  const source = $("source"), mode = $("mode"), status = $("status");
  const started = performance.now();
  const SAMPLE = "<:glyphloom version=\"https://glyphloom.org/v1\">\n" +
    "Names: <:latin small letter eng>, \\:alpha\\:beta, <:red heart>\n" +
    "Styles: <:bold a> <:italic bold A> <:circled 1> <:bold>bold words<:>\n" +
    "Fonts: <:font han-japanese>漢字<:/font> <:color blue>blue words<:/color>\n";

  const params = new URLSearchParams(location.hash.slice(1));
  source.value = params.get("markup") ?? SAMPLE;
  if (params.get("mode")) mode.value = params.get("mode");

  let gl = null;
  let generation = 0;
  const chunkErrors = new Set();

  function td(row, text) {
    const cell = row.insertCell();
    cell.textContent = text;
    return cell;
  }

  function finding(kind, item) {
    const li = document.createElement("li");
    li.className = kind;
    const a = document.createElement("a");
    a.href = "#";
    a.textContent = `${item.line}:${item.column}: ${kind}: ${item.message}`;
    a.addEventListener("click", (event) => {
      event.preventDefault();
      const at = characterIndex(source.value, item.byte);
      source.focus();
      source.setSelectionRange(at, at);
    });
    li.append(a);
    return li;
  }

  // The string index of a UTF-8 byte offset into the markup.
  function characterIndex(text, byte) {
    const encoder = new TextEncoder();
    let bytes = 0, i = 0;
    for (const c of text) {
      if (bytes >= byte) break;
      bytes += encoder.encode(c).length;
      i += c.length;
    }
    return i;
  }

  function showStatus() {
    const s = gl.stats;
    status.textContent = `index: ${s.requests.length} requests, ${(s.bytes / 1024).toFixed(0)} KiB ` +
      `of ${gl.layout.chunks} chunks` + (gl.failed.size ? `, ${gl.failed.size} failed` : "");
  }

  async function update() {
    const mine = ++generation;
    const markup = source.value;
    const t0 = performance.now();
    const converted = await gl.convert(markup, { mode: mode.value });
    if (mine !== generation) return;
    const text = converted.text;
    const messages = [];
    for (const w of converted.warnings) messages.push(finding("warning", w));
    if (converted.error) messages.push(finding("error", converted.error));
    let runs = null, html = "";
    if (text !== null) {
      runs = await gl.metaRuns(text);
      html = await gl.html(text);
      if (mine !== generation) return;
    }
    const elapsed = performance.now() - t0;
    for (const message of [...converted.chunkErrors, ...(runs ? runs.chunkErrors : [])]) {
      chunkErrors.add(message);
    }
    for (const message of chunkErrors) {
      const li = document.createElement("li");
      li.className = "error chunk";
      li.textContent = message;
      messages.push(li);
    }
    $("messages").replaceChildren(...messages);
    $("text").textContent = text ?? "";
    $("visible").textContent = text === null ? "" : gl.visible(text);
    $("html").innerHTML = html;
    const table = $("runs");
    table.replaceChildren();
    if (runs) {
      const head = table.createTHead().insertRow();
      for (const h of ["key", "value", "text"]) head.append(Object.assign(document.createElement("th"), { textContent: h }));
      for (const run of runs.runs) {
        const row = table.insertRow();
        td(row, run.key);
        td(row, run.value);
        td(row, runs.text.slice(run.start, run.end));
      }
    }
    showStatus();
    history.replaceState(null, "", "#" + new URLSearchParams({ markup, mode: mode.value }).toString());
    document.body.dataset.convertMs = elapsed.toFixed(2);
    if (!document.body.dataset.firstConversionMs) {
      document.body.dataset.firstConversionMs = (performance.now() - started).toFixed(1);
    }
    document.body.dataset.ready = String(mine);
  }

  // Completion of the name before the caret, after "<:" or "\:".
  const list = $("completions");
  let choices = [], chosen = 0, partial = null;

  function partialAtCaret() {
    const before = source.value.slice(0, source.selectionStart);
    const tag = /<:([^<>\n]*)$/.exec(before);
    const short = /\\:([A-Za-z0-9_-]*)$/.exec(before);
    if (short && (!tag || short.index > tag.index)) return { short: true, text: short[1] };
    if (tag) return { short: false, text: tag[1] };
    return null;
  }

  async function complete() {
    partial = partialAtCaret();
    if (!partial || partial.text.length < 2) return closeList();
    const asked = partial;
    let matches = await gl.search(partial.text, { limit: 12 });
    if (asked !== partial) return;
    if (partial.short) matches = matches.filter((m) => /^[A-Za-z0-9_-]+$/.test(m.name));
    choices = matches.slice(0, 8);
    chosen = 0;
    if (!choices.length) return closeList();
    list.replaceChildren(...choices.map((m, i) => {
      const li = document.createElement("li");
      li.textContent = `${m.text}  ${m.name}`;
      li.addEventListener("mousedown", (event) => { event.preventDefault(); accept(i); });
      return li;
    }));
    list.hidden = false;
    highlight();
  }

  function highlight() {
    [...list.children].forEach((li, i) => li.classList.toggle("chosen", i === chosen));
  }

  function closeList() {
    list.hidden = true;
    choices = [];
  }

  function insert(at, remove, text) {
    source.setRangeText(text, at - remove, at, "end");
    source.focus();
    update();
  }

  function accept(i) {
    const m = choices[i];
    const caret = source.selectionStart;
    const close = partial.short || source.value[caret] === ">" ? "" : ">";
    insert(caret, partial.text.length, m.name + close);
    closeList();
  }

  source.addEventListener("keydown", (event) => {
    if (list.hidden) return;
    if (event.key === "ArrowDown" || event.key === "ArrowUp") {
      chosen = (chosen + (event.key === "ArrowDown" ? 1 : choices.length - 1)) % choices.length;
      highlight();
    } else if (event.key === "Enter" || event.key === "Tab") {
      accept(chosen);
    } else if (event.key === "Escape") {
      closeList();
    } else {
      return;
    }
    event.preventDefault();
  });
  source.addEventListener("input", () => { update(); complete(); });
  source.addEventListener("blur", closeList);
  mode.addEventListener("change", update);

  $("query").addEventListener("input", async (event) => {
    const query = event.target.value;
    const matches = await gl.search(query, { limit: 30 });
    if (query !== $("query").value) return;
    const table = $("matches");
    table.replaceChildren();
    for (const m of matches) {
      const row = table.insertRow();
      td(row, m.text);
      td(row, /^[A-Za-z0-9_-]+$/.test(m.name) ? `\\:${m.name}` : `<:${m.name}>`);
      td(row, Array.from(m.text, (c) => "U+" + c.codePointAt(0).toString(16).toUpperCase().padStart(4, "0")).join(" "));
      row.addEventListener("click", () => insert(source.selectionStart, 0, `<:${m.name}>`));
    }
  });

  Glyphloom.load({ base: "chunks/" }).then((loaded) => {
    gl = loaded;
    gl.onChunkError(showStatus);
    return update();
  }).catch((error) => {
    status.textContent = `glyphloom could not start: ${error.message}`;
    document.body.dataset.failed = error.message;
  });
})();
