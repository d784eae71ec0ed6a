// Compares the times and slice starts of bmson charts' sounded notes, as
// `--standard --inspect` lists them, with the npm "bmson" reader's on
// generated charts of both layouts. Run by bmson_oracle.sh with NODE_PATH
// set to a folder holding bmson@45 and bms@51.
//   node bmson_oracle.js PLAYER WORKDIR
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const bmson = require('bmson');

const [tool, workDir] = process.argv.slice(2);
fs.mkdirSync(workDir, { recursive: true });

function generator(seed) {
  let a = seed >>> 0;
  const next = () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (lo, hi) => lo + Math.floor(next() * (hi - lo + 1));
  const pick = (list) => list[int(0, list.length - 1)];
  return { next, int, pick };
}

// Tempo changes, stops, long notes and sounds cut into continued notes; odd
// seeds in the 0.21 layout (240 pulses a beat, other key names).
function generateChart(seed) {
  const g = generator(seed);
  const legacy = seed % 2 === 1;
  const res = legacy ? 240 : g.pick([240, 480, 96, 192]);
  const span = res * 4 * 24;
  const tempos = [], stops = [];
  for (let i = g.int(0, 8); i > 0; i--)
    tempos.push({ y: g.int(0, span), v: g.pick([90, 120, 155.5, 200, 61.25, 300]) });
  for (let i = g.int(0, 6); i > 0; i--) stops.push({ y: g.int(0, span), v: g.int(1, res * 2) });
  const channels = [];
  for (let c = g.int(1, 12); c > 0; c--) {
    const notes = [];
    const ys = new Set();
    for (let n = g.int(1, 40); n > 0; n--) ys.add(g.int(0, span));
    for (const y of ys)
      notes.push({ x: g.int(0, 8), y, l: g.next() < 0.2 ? g.int(1, res * 2) : 0, c: g.next() < 0.6 });
    channels.push({ name: `s${c}.wav`, notes });
  }
  const bpm = g.pick([120, 150, 133.5, 87.25]);
  if (legacy)
    return {
      info: { title: `oracle ${seed}`, initBPM: bpm },
      bpmNotes: tempos,
      stopNotes: stops,
      soundChannel: channels,
    };
  return {
    version: '1.0.0',
    info: { title: `oracle ${seed}`, init_bpm: bpm, resolution: res },
    bpm_events: tempos.map(({ y, v }) => ({ y, bpm: v })),
    stop_events: stops.map(({ y, v }) => ({ y, duration: v })),
    sound_channels: channels,
  };
}

let failures = 0;
const charts = 40;
for (let seed = 1; seed <= charts; seed++) {
  const chart = generateChart(seed);
  const file = path.join(workDir, `oracle${seed}.bmson`);
  fs.writeFileSync(file, JSON.stringify(chart));
  const listing = execFileSync(tool, ['--standard', '--inspect', file], { encoding: 'utf8' });
  // Object <time> <exact ms> <beat> <measure> <channel> <id> <kind> [slice START FRAMES]
  const ours = [];
  for (const line of listing.split('\n')) {
    const f = line.split(' ');
    if (f[0] !== 'Object' || !['Background', 'Note', 'LongStart'].includes(f[7])) continue;
    const slot = parseInt(f[6], 36);
    const start = f[8] === 'slice' ? Number(f[9]) / 44.1 : 0;
    ours.push({ time: Number(f[2]), slot, start, used: false });
  }
  const score = bmson.musicalScoreForBmson(chart);
  const problems = [];
  for (const note of score.notes.all()) {
    const time = 1000 + score.timing.beatToSeconds(note.beat) * 1000;
    const slot = Number(note.keysound);
    const start = (note.keysoundStart || 0) * 1000;
    const match = ours.find(
      (o) => !o.used && o.slot === slot && Math.abs(o.time - time) <= 1 &&
        Math.abs(o.start - start) <= 1.1
    );
    if (match) match.used = true;
    else problems.push(`note of sound ${slot} at ${time.toFixed(3)} ms from ${start.toFixed(3)} ms`);
  }
  // The npm reader leaves out background notes that only continue the one
  // before them; every other note of ours must have been matched.
  const keyed = score.notes.all().filter((n) => n.column !== undefined).length;
  const ourKeyed = listing.split('\n').filter((l) => / (Note|LongStart)( |$)/.test(l)).length;
  if (keyed !== ourKeyed) problems.push(`${ourKeyed} key notes, the npm reader has ${keyed}`);
  if (problems.length) {
    failures++;
    console.log(`${file}: ${problems.length} differences, first: ${problems[0]}`);
  }
}
console.log(`bmson oracle: ${charts - failures} of ${charts} charts agree`);
process.exit(failures ? 1 : 0);
