#!/usr/bin/env node
// Writes the Sublime Text copies of the TextMate grammars: the XML property
// lists Sublime Text reads, made from the JSON that VS Code reads. Run it
// after changing a grammar; the grammar test fails while a copy is stale.
//   node tools/tmlanguage_plist.js
'use strict';

const fs = require('node:fs');
const path = require('node:path');

const root = path.resolve(__dirname, '..');
const copies = [
    ['editors/vscode/syntaxes/tolvar.tmLanguage.json', 'editors/sublime/tolvar.tmLanguage'],
    ['editors/vscode/syntaxes/tolvar-text.tmLanguage.json', 'editors/sublime/tolvar-text.tmLanguage'],
].map(([from, to]) => [path.join(root, from), path.join(root, to)]);

function escape(text) {
    return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
}

function value(item, indent) {
    const pad = '\t'.repeat(indent);
    if (typeof item === 'string') {
        return `${pad}<string>${escape(item)}</string>\n`;
    }
    if (Array.isArray(item)) {
        return `${pad}<array>\n${item.map((v) => value(v, indent + 1)).join('')}${pad}</array>\n`;
    }
    const entries = Object.entries(item).map(
        ([key, v]) => `${pad}\t<key>${escape(key)}</key>\n${value(v, indent + 1)}`);
    return `${pad}<dict>\n${entries.join('')}${pad}</dict>\n`;
}

function plist_of(json_text) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
        '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" ' +
        '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n' +
        '<plist version="1.0">\n' + value(JSON.parse(json_text), 0) + '</plist>\n';
}

module.exports = { copies, plist_of };

if (require.main === module) {
    for (const [from, to] of copies) {
        fs.writeFileSync(to, plist_of(fs.readFileSync(from, 'utf8')));
        console.log(`wrote ${path.relative(root, to)}`);
    }
}
