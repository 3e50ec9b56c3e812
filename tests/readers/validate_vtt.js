// Reads a WebVTT file with the W3C validator's parser; prints each error and exits 1 on any.
const fs = require('fs');
const { WebVTTParser } = require('webvtt-parser');

const text = fs.readFileSync(process.argv[2], 'utf8');
const tree = new WebVTTParser().parse(text, 'subtitles/captions/descriptions');
for (const error of tree.errors)
  console.log(`line ${error.line}, column ${error.col}: ${error.message}`);
console.log(`cues ${tree.cues.length}`);
process.exit(tree.errors.length === 0 ? 0 : 1);
