// Compares the times, sounds and slice starts of bmson charts' sounded notes,
// as `--standard --inspect` lists them, with the npm "bmson" reader's on
// generated charts of both layouts, and on charts with a fault in a note or a
// sound channel, 2,000 sound channels, or UTF-16 text. Run by bmson_oracle.sh with NODE_PATH
// set to a folder holding bmson@45 and bms@51.
//   node bmson_oracle.js PLAYER WORKDIR
'use strict';
const fs = require('fs');
const path = require('path');
const bmson = require('bmson');
const { commandLine, generator, SoundedKinds, inspectStandard } = require('./oracle_common');

const { player: tool, workDir } = commandLine();

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

// The slot our listing names for each sound channel (by index + 1): its own
// while every channel fits the 1,295 slots, else one for each file in order
// of first naming, 0 (no sound) past the last slot and for a channel with no
// name or one that is not a string.
function soundSlots(chart) {
  const channels = soundChannelsOf(chart);
  const slots = [0];
  if (channels.length <= 1295) return channels.map((_, i) => i + 1);
  const slotOfName = new Map();
  for (const { name } of channels) {
    if (typeof name !== 'string' || name === '') {
      slots.push(0);
      continue;
    }
    if (!slotOfName.has(name)) slotOfName.set(name, slotOfName.size + 1);
    const slot = slotOfName.get(name);
    slots.push(slot <= 1295 ? slot : 0);
  }
  return slots.slice(1);
}

function soundChannelsOf(chart) {
  return chart.version ? chart.sound_channels : chart.soundChannel;
}

// Compares our listing of `file` with the npm reader's score of `chart` (the
// chart as we read it: where the file holds notes we leave out or read
// otherwise, `chart` is the file without them, or with them as read).
function compare(file, chart) {
  const { objects } = inspectStandard(tool, file);
  const ours = objects
    .filter((o) => SoundedKinds.includes(o.kind))
    .map((o) => ({ time: o.ms, slot: parseInt(o.id, 36), start: o.sliceFrames / 44.1, used: false }));
  const score = bmson.musicalScoreForBmson(chart);
  const slots = soundSlots(chart);
  const problems = [];
  for (const note of score.notes.all()) {
    const time = 1000 + score.timing.beatToSeconds(note.beat) * 1000;
    const slot = slots[Number(note.keysound) - 1];
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
  const ourKeyed = objects.filter((o) => o.kind === 'Note' || o.kind === 'LongStart').length;
  if (keyed !== ourKeyed) problems.push(`${ourKeyed} key notes, the npm reader has ${keyed}`);
  if (problems.length) console.log(`${file}: ${problems.length} differences, first: ${problems[0]}`);
  return problems.length === 0;
}

// Charts with faults a note or channel may have, each beside the chart as we
// read it: the npm reader takes both alike only where the fault is gone.
function faultyCharts() {
  const shapes = [];
  const add = (name, seed, change, encoding = 'utf8') => {
    const file = generateChart(seed);
    const chart = generateChart(seed);
    const y = soundChannelsOf(file)[0].notes[0].y;
    change(file, chart, y);
    shapes.push({ name, file, chart, encoding });
  };
  // A lane past the key layout: a background note (its length unused).
  add('lane28', 102, (file, chart, y) => {
    for (const c of [file, chart]) soundChannelsOf(c)[0].notes.push({ x: 28, y: y + 7, l: 96, c: false });
  });
  add('negative-l', 104, (file, chart, y) => {
    soundChannelsOf(file)[0].notes.push({ x: 2, y: y + 5, l: -96, c: true });
    soundChannelsOf(chart)[0].notes.push({ x: 2, y: y + 5, l: 0, c: true });
  });
  // Left out: the npm reader would place them at no time or before the start.
  add('y-not-a-number', 106, (file) => {
    soundChannelsOf(file)[0].notes.push({ x: 3, y: 'soon', l: 0, c: false }, { x: 4, y: -240 });
  });
  add('c-as-string', 108, (file, chart, y) => {
    soundChannelsOf(file)[0].notes.push({ x: 5, y: y + 3, l: 0, c: 'yes' });
    soundChannelsOf(chart)[0].notes.push({ x: 5, y: y + 3, l: 0, c: false });
  });
  add('name-as-number', 110, (file, chart) => {
    soundChannelsOf(file)[0].name = 7;
    soundChannelsOf(chart)[0].name = 7;
  });
  add('2000-channels', 112, (file, chart) => {
    for (const c of [file, chart]) {
      const channels = soundChannelsOf(c);
      for (let i = channels.length; i < 2000; i++)
        channels.push({ name: `x${i % 1700}.wav`, notes: [{ x: i % 9, y: 7 * i, l: 0, c: i % 2 === 0 }] });
    }
  });
  add('utf16le', 114, () => {}, 'utf16le');
  add('utf16be-bom', 116, () => {}, 'utf16be-bom');
  return shapes;
}

function encode(text, encoding) {
  if (encoding === 'utf16le') return Buffer.from(text, 'utf16le');
  if (encoding === 'utf16be-bom') return Buffer.from('\ufeff' + text, 'utf16le').swap16();
  return Buffer.from(text, 'utf8');
}

let failures = 0;
const charts = 40;
for (let seed = 1; seed <= charts; seed++) {
  const chart = generateChart(seed);
  const file = path.join(workDir, `oracle${seed}.bmson`);
  fs.writeFileSync(file, JSON.stringify(chart));
  if (!compare(file, chart)) failures++;
}
console.log(`bmson oracle: ${charts - failures} of ${charts} charts agree`);
let faultFailures = 0;
const shapes = faultyCharts();
for (const { name, file, chart, encoding } of shapes) {
  const where = path.join(workDir, `faulty-${name}.bmson`);
  fs.writeFileSync(where, encode(JSON.stringify(file), encoding));
  if (!compare(where, chart)) faultFailures++;
}
console.log(`bmson oracle: ${shapes.length - faultFailures} of ${shapes.length} faulty charts agree`);
process.exit(failures || faultFailures ? 1 : 0);
