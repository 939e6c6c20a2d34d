// The extension's problem matcher against the compiler's gnu form: file,
// line, column, severity, message and code of each error and warning.
//   node problem_matcher.js PACKAGE_JSON GNU_OUTPUT_FILE
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');

const manifest = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const matcher = manifest.contributes.problemMatchers.find((m) => m.name === 'tolvar');
assert.ok(matcher, 'the manifest contributes a problem matcher named tolvar');
const pattern = matcher.pattern;
const regexp = new RegExp(pattern.regexp);
const found = fs.readFileSync(process.argv[3], 'utf8').split('\n').filter((l) => l !== '')
    .map((line) => regexp.exec(line)).filter((m) => m !== null).map((m) => ({
        file: m[pattern.file], line: m[pattern.line], column: m[pattern.column],
        severity: m[pattern.severity], message: m[pattern.message], code: m[pattern.code],
    }));
assert.deepStrictEqual(found, [
    {file: 'texts.txt', line: '2', column: '24', severity: 'error', code: '700',
     message: found[0] && found[0].message},
    {file: 'empty.src', line: '1', column: undefined, severity: 'warning', code: '1247',
     message: "'if' with an empty body"},
]);
assert.match(found[0].message, /^byte C3 is not allowed here/);
console.log('problem matcher: file, line, column, severity, message and code read');
