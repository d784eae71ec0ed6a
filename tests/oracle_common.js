// What the timing oracles share: the command line they are run with, a seeded
// generator for their charts, and the player's `--standard --inspect` listing
// of a chart read back as objects. Each oracle is run by its .sh wrapper (see
// npm_oracle.sh) with NODE_PATH set to the folder holding its npm packages.
'use strict';
const fs = require('fs');
const { execFileSync } = require('child_process');

// `node ORACLE.js PLAYER WORKDIR`: the player to ask and the folder (made here)
// where the generated charts are written.
function commandLine() {
  const [player, workDir] = process.argv.slice(2);
  if (!player || !workDir) {
    console.log(`usage: node ${process.argv[1]} PLAYER WORKDIR`);
    process.exit(2);
  }
  fs.mkdirSync(workDir, { recursive: true });
  return { player, workDir };
}

// A small seeded generator, so every run tests the same charts.
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

// The kinds of object that sound: a keysound the player starts.
const SoundedKinds = ['Background', 'Note', 'LongStart'];

// The player's listing of FILE read the standard way, split into its objects
// and warnings. An object line is
//   Object <time> <exact ms> <beat> <measure> <channel> <id> <kind> [slice START FRAMES]
// and each object here has { time, ms, channel, id, kind, sliceFrames } (ms
// the exact time, sliceFrames the slice's start in 44.1 kHz frames, or 0).
function inspectStandard(player, file) {
  const listing = execFileSync(player, ['--standard', '--inspect', file], {
    encoding: 'utf8',
    maxBuffer: 1 << 28,
  });
  const objects = [], warnings = [];
  for (const line of listing.split('\n')) {
    const f = line.split(' ');
    if (f[0] === 'Warning') warnings.push(line);
    if (f[0] !== 'Object') continue;
    objects.push({
      time: Number(f[1]),
      ms: Number(f[2]),
      channel: f[5],
      id: f[6],
      kind: f[7],
      sliceFrames: f[8] === 'slice' ? Number(f[9]) : 0,
    });
  }
  return { objects, warnings };
}

module.exports = { commandLine, generator, SoundedKinds, inspectStandard };
