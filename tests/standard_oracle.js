// Compares the standard reading's object times with the npm "bms" parser's on
// generated charts. Run by standard_oracle.sh with NODE_PATH set to a folder
// holding bms@51.
//   node standard_oracle.js PLAYER WORKDIR   (PLAYER --standard --inspect CHART)
'use strict';
const fs = require('fs');
const path = require('path');
const bms = require('bms');
const { commandLine, generator, SoundedKinds, inspectStandard } = require('./oracle_common');

const { player, workDir } = commandLine();

const B36 = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ';
const id36 = (n) => B36[Math.floor(n / 36)] + B36[n % 36];
const hex2 = (n) => n.toString(16).toUpperCase().padStart(2, '0');

// One channel line of `n` divisions with objects drawn by `value(k)` (or "00").
function channelLine(measure, channel, n, value) {
  let data = '';
  for (let k = 0; k < n; k++) data += value(k) || '00';
  return `#${String(measure).padStart(3, '0')}${channel}:${data}`;
}

// Keysound ids: any base-36 id except those starting with M (mines) and ZZ (#LNOBJ).
function soundId(g, lowerCase) {
  let n;
  do n = g.int(1, 1294); while (B36[Math.floor(n / 36)] === 'M');
  const id = id36(n);
  return lowerCase && g.next() < 0.3 ? id.toLowerCase() : id;
}

function generateChart(seed) {
  const g = generator(seed);
  const lines = [`#TITLE oracle ${seed}`, `#BPM ${g.pick([60, 120, 150, 133.5, 87.25, 200])}`, '#PLAYER 3'];
  const bpmIds = [], stopIds = [];
  for (let i = 0; i < 6; i++) {
    const id = id36(g.int(37, 1294));
    lines.push(`#BPM${id} ${g.pick([45, 90, 128.5, 174, 240, 300.125])}`);
    bpmIds.push(id);
  }
  for (let i = 0; i < 4; i++) {
    const id = id36(g.int(37, 1294));
    lines.push(`#STOP${id} ${g.pick([1, 24, 48, 96, 192, 77])}`);
    stopIds.push(id);
  }
  const useLnObj = g.next() < 0.5;
  if (useLnObj) lines.push('#LNOBJ ZZ');
  const measures = g.int(4, 40);
  const body = [];
  for (let m = 0; m < measures; m++) {
    if (g.next() < 0.2) body.push(`#${String(m).padStart(3, '0')}02:${g.pick(['0.75', '1.5', '0.5', '0.125', '1.25', '2'])}`);
    const n = () => g.pick([1, 2, 3, 4, 8, 12, 16, 48, 192]);
    const sparse = (p, f) => (k) => (g.next() < p ? f(k) : null);
    const m3 = String(m).padStart(3, '0');
    if (g.next() < 0.3) body.push(channelLine(m, '03', n(), sparse(0.3, () => hex2(g.int(1, 255)))));
    if (g.next() < 0.3) body.push(channelLine(m, '08', n(), sparse(0.3, () => g.pick(bpmIds))));
    if (g.next() < 0.3) body.push(channelLine(m, '09', n(), sparse(0.2, () => g.pick(stopIds))));
    for (let layer = g.int(0, 3); layer > 0; layer--) body.push(channelLine(m, '01', n(), sparse(0.4, () => soundId(g, true))));
    for (const ch of ['11', '12', '13', '14', '15', '16', '18', '19', '21', '23', '25', '26', '29']) {
      if (g.next() >= 0.35) continue;
      // #LNOBJ ends only a note earlier on the same line, so every end has its start.
      let open = false;
      const note = () => {
        const end = useLnObj && open && g.next() < 0.4;
        open = !end;
        return end ? 'ZZ' : soundId(g, false);
      };
      body.push(channelLine(m, ch, n(), sparse(0.3, note)));
    }
    for (const ch of ['31', '45', 'D1', 'E6']) {
      if (g.next() < 0.15) body.push(channelLine(m, ch, n(), sparse(0.3, () => (ch[0] >= 'D' ? 'M' + B36[g.int(1, 35)] : soundId(g, false)))));
    }
    for (const ch of ['04', '07']) if (g.next() < 0.2) body.push(channelLine(m, ch, n(), sparse(0.3, () => soundId(g, false))));
    if (g.next() < 0.3) {
      // A long note pair on one line, so every start has its end.
      const ch = g.pick(['51', '53', '56', '62', '69']);
      const d = g.pick([4, 8, 16]);
      const a = g.int(0, d - 2), b = g.int(a + 1, d - 1);
      body.push(channelLine(m, ch, d, (k) => (k === a || k === b ? soundId(g, false) : null)));
    }
    if (g.next() < 0.15) {
      // Random blocks; with every #RANDOM at 1, nested ones only in taken branches.
      const block = ['#RANDOM 3', '#IF 1', channelLine(m, '17', 4, () => soundId(g, false))];
      if (g.next() < 0.5) block.push('#RANDOM 2', '#IF 1', channelLine(m, '27', 2, () => soundId(g, false)), '#ENDIF', '#IF 2', `#${m3}01:ZY`, '#ENDIF');
      block.push('#ENDIF', '#IF 2', `#${m3}01:ZX`, '#ENDIF', '#IF 3', `#${m3}02:3`, '#ENDIF');
      body.push(block.join('\n'));
    }
  }
  // Lines (and random blocks) in a shuffled order: the readers must not depend on it.
  for (let i = body.length - 1; i > 0; i--) {
    const j = g.int(0, i);
    [body[i], body[j]] = [body[j], body[i]];
  }
  const eol = g.next() < 0.5 ? '\r\n' : '\n';
  return lines.concat(body).join(eol).replace(/\n/g, eol).replace(/\r\r/g, '\r') + eol;
}

// The oracle's view: every object's time, and the sounded notes.
function oracleTimes(text) {
  const chart = bms.Compiler.compile(text, { rng: () => 1 }).chart;
  const timing = bms.Timing.fromBMSChart(chart);
  const ms = (beat) => timing.beatToSeconds(beat) * 1000 + 1000;
  const objects = chart.objects
    .all()
    .filter((o) => !['02', '03', '08', '09'].includes(o.channel))
    .map((o) => ({ key: `${o.channel.toUpperCase()} ${o.value.toUpperCase()}`, ms: ms(chart.measureToBeat(o.measure, o.fraction)) }));
  const sounded = bms.Notes.fromBMSChart(chart)
    .all()
    .filter((n) => !n.keysound.toUpperCase().startsWith('M'))
    .map((n) => ({ key: n.keysound.toUpperCase(), ms: ms(n.beat) }));
  return { objects, sounded };
}

function ourTimes(file) {
  const { objects, warnings } = inspectStandard(player, file);
  const ours = objects.map((o) => ({ key: `${o.channel} ${o.id}`, ms: o.ms, time: o.time }));
  const sounded = objects
    .filter((o) => SoundedKinds.includes(o.kind))
    .map((o) => ({ key: o.id, ms: o.ms, time: o.time }));
  return { objects: ours, sounded, warnings };
}

function compare(what, ours, theirs, name) {
  const order = (a, b) => (a.key < b.key ? -1 : a.key > b.key ? 1 : a.ms - b.ms);
  ours.sort(order);
  theirs.sort(order);
  if (ours.length !== theirs.length) return [`${name}: ${what}: ${ours.length} here, ${theirs.length} in bms`];
  const faults = [];
  for (let i = 0; i < ours.length; i++) {
    const a = ours[i], b = theirs[i];
    if (a.key !== b.key || Math.abs(a.ms - b.ms) > 1 || Math.abs(a.time - b.ms) > 1)
      faults.push(`${name}: ${what} ${a.key} at ${a.ms} (${a.time}) here, ${b.key} at ${b.ms} in bms`);
  }
  return faults;
}

const charts = [];
for (let seed = 1; seed <= 60; seed++) charts.push([`gen${seed}.bms`, generateChart(seed)]);
let faults = [], objectCount = 0, soundedCount = 0;
for (const [name, text] of charts) {
  const file = path.join(workDir, name);
  fs.writeFileSync(file, text);
  const ours = ourTimes(file);
  const theirs = oracleTimes(text);
  if (ours.warnings.length) faults.push(`${name}: unexpected ${ours.warnings[0]}`);
  faults = faults.concat(compare('object', ours.objects, theirs.objects, name));
  faults = faults.concat(compare('sounded', ours.sounded, theirs.sounded, name));
  objectCount += ours.objects.length;
  soundedCount += ours.sounded.length;
}
if (faults.length) {
  console.log(faults.slice(0, 40).join('\n'));
  console.log(`${faults.length} differences; charts kept in ${workDir}`);
  process.exit(1);
}
console.log(`${charts.length} charts, ${objectCount} objects (${soundedCount} sounded): all within 1 ms of bms@51`);
