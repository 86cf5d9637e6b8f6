// glyphloom in the browser: the WebAssembly core over an index fetched in chunks as it is needed.
//
//   const gl = await Glyphloom.load({ base: "chunks/" });
//   const { text, warnings, error } = await gl.convert("<:bold a>", { mode: "lenient" });
//
// Each call runs in the core; when its lookups needed chunks that are not here yet, the chunks
// are fetched (each at most once), supplied, and the call is made again. A chunk that fails to
// load is not asked for again: the calls that need it answer what they can, with the failure in
// `chunkErrors`.
(function (global) {
  "use strict";

  async function load(options = {}) {
    const base = options.base ?? "chunks/";
    const fetchBytes = options.fetch ?? (async (url) => {
      const response = await fetch(url);
      if (!response.ok) throw new Error(`HTTP ${response.status}`);
      return new Uint8Array(await response.arrayBuffer());
    });
    const [core, header] = await Promise.all([
      global.createGlyphloomModule(options.module ?? {}),
      fetchBytes(base + "header.glxc"),
    ]);
    const refused = core.open(header);
    if (refused) throw new Error(`${base}header.glxc: ${refused}`);
    const layout = JSON.parse(core.layout());
    const stats = { requests: ["header.glxc"], bytes: header.length, chunks: [] };
    const pending = new Map(); // chunk number -> promise of its supply
    const failed = new Map(); // chunk number -> why it could not be had
    const listeners = [];

    function chunk(n) {
      if (!pending.has(n)) {
        const name = `chunk-${n}.glx`;
        stats.requests.push(name);
        pending.set(n, fetchBytes(base + name).then((bytes) => {
          stats.bytes += bytes.length;
          const why = core.supply(n, bytes);
          if (why) throw new Error(why);
          stats.chunks.push(n);
        }).catch((error) => {
          const message = `chunk ${n} failed to load: ${error.message}`;
          failed.set(n, message);
          for (const listener of listeners) listener(message, n);
        }));
      }
      return pending.get(n);
    }

    // Calls the core until its answer needs nothing more that can be had.
    async function settled(call) {
      for (;;) {
        const answer = JSON.parse(call());
        const need = answer.missing.filter((n) => !failed.has(n));
        if (need.length === 0) {
          answer.chunkErrors = answer.missing.map((n) => failed.get(n));
          delete answer.missing;
          if (answer.internal) throw new Error(answer.internal);
          return answer;
        }
        await Promise.all(need.map(chunk));
      }
    }

    if (layout.base !== null) await chunk(layout.base);

    const api = {
      layout,
      stats,
      failed,
      onChunkError(listener) { listeners.push(listener); },
      // Markup to text: {text (null on an error), warnings, error, chunkErrors}; findings have
      // message, byte, line and column.
      convert(source, { mode = "warn" } = {}) {
        return settled(() => core.convert(source, mode));
      },
      async toGlyphloom(text) {
        return (await settled(() => core.toGlyphloom(text))).markup;
      },
      // {text, runs: [{key, value, start, end, ...}], warnings}; start and end index the string.
      metaRuns(tagged) {
        return settled(() => core.metaRuns(tagged));
      },
      async html(tagged, { effects = true } = {}) {
        return (await settled(() => core.html(tagged, effects))).html;
      },
      async font(name) {
        return (await settled(() => core.font(name))).font;
      },
      // Searching reads every name, so the first search fetches the rest of the names table.
      async search(query, { limit = 20 } = {}) {
        const names = layout.tables[0];
        const all = [];
        for (let n = names.first; n < names.first + names.count; n++) all.push(chunk(n));
        await Promise.all(all);
        return (await settled(() => core.search(query, limit))).matches;
      },
      visible,
    };
    return api;
  }

  function hex(cp) {
    return "U+" + cp.toString(16).toUpperCase().padStart(4, "0");
  }

  function invisible(cp) {
    if (cp === 0x0a || cp === 0x09) return false;
    return cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || cp === 0xad ||
      (cp >= 0x200b && cp <= 0x200f) || (cp >= 0x2028 && cp <= 0x202e) ||
      (cp >= 0x2060 && cp <= 0x206f) || (cp >= 0xfe00 && cp <= 0xfe0f) || cp === 0xfeff ||
      (cp >= 0x13430 && cp <= 0x1345f) || (cp >= 0xe0000 && cp <= 0xe0fff);
  }

  const OPEN = /^<([a-z][a-z0-9-]*) ([A-Za-z0-9#.%+\-_,()/]+)$/;
  const CLOSE = /^<\/([a-z][a-z0-9-]*)$/;
  const ATTACHED = /^[^<]([a-z][a-z0-9-]*) ([A-Za-z0-9#.%+\-_,()/]+)$/;

  // The text with its invisible characters shown: metas as ⟨font x⟩, ⟨/font⟩ and ⟨:color red⟩,
  // other format characters as ⟨U+E0072⟩.
  function visible(text) {
    const cps = Array.from(text, (c) => c.codePointAt(0));
    let out = "";
    for (let i = 0; i < cps.length;) {
      if (cps[i] >= 0xe0000 && cps[i] <= 0xe007f) {
        let j = i;
        let payload = "";
        while (j < cps.length && cps[j] >= 0xe0000 && cps[j] < 0xe007f) {
          payload += String.fromCodePoint(cps[j] - 0xe0000);
          j++;
        }
        if (j < cps.length && cps[j] === 0xe007f) {
          let m;
          let shown = null;
          if ((m = CLOSE.exec(payload))) shown = `⟨/${m[1]}⟩`;
          else if ((m = OPEN.exec(payload))) shown = `⟨${m[1]} ${m[2]}⟩`;
          else if ((m = ATTACHED.exec(payload))) shown = `⟨:${m[1]} ${m[2]}⟩`;
          if (shown) {
            out += shown;
            i = j + 1;
            continue;
          }
        }
      }
      out += invisible(cps[i]) ? `⟨${hex(cps[i])}⟩` : String.fromCodePoint(cps[i]);
      i++;
    }
    return out;
  }

  global.Glyphloom = { load, visible };
})(typeof window !== "undefined" ? window : globalThis);
