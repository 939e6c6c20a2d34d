// The editor grammars, run by the tokenizer VS Code itself uses (the
// packages of package.json here). Started by run.sh, which installs them.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const vsctm = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const root = path.resolve(__dirname, '..', '..');
const extension = path.join(root, 'editors', 'vscode');
const grammar_files = {
    'source.tolvar': path.join(extension, 'syntaxes', 'tolvar.tmLanguage.json'),
    'source.tolvar-text': path.join(extension, 'syntaxes', 'tolvar-text.tmLanguage.json'),
};

const registry = new vsctm.Registry({
    onigLib: oniguruma
        .loadWASM(fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm')).buffer)
        .then(() => ({
            createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
            createOnigString: (text) => new oniguruma.OnigString(text),
        })),
    loadGrammar: async (scope) => {
        const file = grammar_files[scope];
        return file ? vsctm.parseRawGrammar(fs.readFileSync(file, 'utf8'), file) : null;
    },
});

// Each line's tokens, the state carried from line to line as an editor does.
async function tokenize(scope, lines) {
    const grammar = await registry.loadGrammar(scope);
    let state = vsctm.INITIAL;
    return lines.map((line) => {
        const result = grammar.tokenizeLine(line, state);
        state = result.ruleStack;
        return result.tokens.map((t) => ({
            text: line.slice(t.startIndex, t.endIndex),
            start: t.startIndex,
            end: t.endIndex,
            scopes: t.scopes,
        }));
    });
}

// Cases: lines, then [line index, text, scope] meaning every character of
// the first occurrence of text in that line carries scope; "!scope" means
// none of them does.
const S = 'source.tolvar';
const T = 'source.tolvar-text';
const cases = [
    ['comment line', S, ['; a comment'], [
        [0, ';', 'punctuation.definition.comment.tolvar'],
        [0, 'a comment', 'comment.line.tolvar'],
    ]],
    ['hash comment line', S, ['# a comment'], [[0, '# a comment', 'comment.line.tolvar']]],
    ['label definition, statement, trailing comment', S, ['talk:   sprefix ; note#2'], [
        [0, 'talk', 'entity.name.label.tolvar'],
        [0, ':', 'punctuation.separator.label.tolvar'],
        [0, 'sprefix', 'keyword.other.statement.tolvar'],
        [0, '; note#2', 'comment.line.tolvar'],
    ]],
    ['label reference', S, ['    jump Talk_2'], [
        [0, 'jump', 'keyword.other.statement.tolvar'],
        [0, 'Talk_2', 'variable.other.label.tolvar'],
    ]],
    ['words that only begin with a keyword are labels', S, ['ending: jump ifx'], [
        [0, 'ending', 'entity.name.label.tolvar'],
        [0, 'ifx', 'variable.other.label.tolvar'],
        [0, 'ifx', '!keyword.control.conditional.tolvar'],
    ]],
    ['a keyword or text label before a colon is no label', S,
        ['bye:', '  If : jump x', 'T0A1F_0001: bye'], [
        [0, 'bye', 'keyword.other.statement.tolvar'],
        [0, 'bye', '!entity.name.label.tolvar'],
        [0, ':', 'invalid.illegal.label.tolvar'],
        [1, 'If', 'keyword.control.conditional.tolvar'],
        [1, ':', 'invalid.illegal.label.tolvar'],
        [1, 'x', 'variable.other.label.tolvar'],
        [2, 'T0A1F_0001', '!entity.name.label.tolvar'],
        [2, ':', 'invalid.illegal.label.tolvar'],
        [2, 'bye', 'keyword.other.statement.tolvar'],
    ]],
    ['block words, case-insensitive keywords', S, ['IF eval Flag(0, 8) == 0', ' Else', ' endif'], [
        [0, 'IF', 'keyword.control.conditional.tolvar'],
        [0, 'eval', 'keyword.other.eval.tolvar'],
        [0, 'Flag', 'support.function.tolvar'],
        [0, '(', 'punctuation.section.parens.begin.tolvar'],
        [0, ',', 'punctuation.separator.comma.tolvar'],
        [0, ')', 'punctuation.section.parens.end.tolvar'],
        [0, '==', 'keyword.operator.comparison.tolvar'],
        [1, 'Else', 'keyword.control.conditional.tolvar'],
        [2, 'endif', 'keyword.control.conditional.tolvar'],
    ]],
    ['statements the table gives one game only', S, ['misc_action eval 1', 'UNKNOWN_D1 eval 1'], [
        [0, 'misc_action', 'keyword.other.statement.tolvar'],
        [1, 'UNKNOWN_D1', 'keyword.other.statement.tolvar'],
    ]],
    ['variables, sized constants, numbers, arithmetic', S,
        ['decl $var[3] := eval byte 10 + int16 0x1F * 017 - $str[0] / 9'], [
        [0, 'decl', 'keyword.other.statement.tolvar'],
        [0, '$var', 'variable.language.tolvar'],
        [0, '$str', 'variable.language.tolvar'],
        [0, '[', 'punctuation.section.brackets.begin.tolvar'],
        [0, ':=', 'keyword.operator.assignment.tolvar'],
        [0, 'byte', 'storage.type.size.tolvar'],
        [0, 'int16', 'storage.type.size.tolvar'],
        [0, '10', 'constant.numeric.decimal.tolvar'],
        [0, '0x1F', 'constant.numeric.hex.tolvar'],
        [0, '017', 'constant.numeric.octal.tolvar'],
        [0, '+', 'keyword.operator.arithmetic.tolvar'],
        [0, '*', 'keyword.operator.arithmetic.tolvar'],
        [0, '-', 'keyword.operator.arithmetic.tolvar'],
        [0, '/', 'keyword.operator.arithmetic.tolvar'],
    ]],
    ['a leading 0 ends at the first digit that is not octal', S, ['.data 08'], [
        [0, '0', 'constant.numeric.octal.tolvar'],
        [0, '8', 'constant.numeric.decimal.tolvar'],
    ]],
    ['logical operators, data references', S,
        ['if eval data(int32 menu, 1) || rand(0, 3) >= 1 && $var[1] <= 2'], [
        [0, 'data', 'support.function.tolvar'],
        [0, 'int32', 'storage.type.size.tolvar'],
        [0, 'menu', 'variable.other.label.tolvar'],
        [0, '||', 'keyword.operator.logical.tolvar'],
        [0, '&&', 'keyword.operator.logical.tolvar'],
        [0, '>=', 'keyword.operator.comparison.tolvar'],
        [0, '<=', 'keyword.operator.comparison.tolvar'],
    ]],
    ['text literal, escapes, Japanese region, refused characters', S,
        ['"Hi \\"you\\"\\t\\n\\\\ {ab} | \\q;#" ; after'], [
        [0, '"', 'punctuation.definition.string.begin.tolvar'],
        [0, 'Hi', 'string.quoted.double.tolvar'],
        [0, '\\"', 'constant.character.escape.tolvar'],
        [0, '\\t', 'constant.character.escape.tolvar'],
        [0, '\\n', 'constant.character.escape.tolvar'],
        [0, '\\\\', 'constant.character.escape.tolvar'],
        [0, '{', 'punctuation.definition.japanese.begin.tolvar'],
        [0, 'ab', 'meta.japanese.tolvar'],
        [0, '}', 'punctuation.definition.japanese.end.tolvar'],
        [0, '|', 'invalid.illegal.character.tolvar'],
        [0, '\\q', 'invalid.illegal.escape.tolvar'],
        [0, ';#', 'string.quoted.double.tolvar'],
        [0, ';#', '!comment.line.tolvar'],
        [0, '; after', 'comment.line.tolvar'],
    ]],
    ['a Japanese region over two text lines', S, ['"Welcome to {ab"', '"cd}, friend."'], [
        [0, 'Welcome', '!meta.japanese.tolvar'],
        [0, 'ab', 'meta.japanese.tolvar'],
        [1, 'cd', 'meta.japanese.tolvar'],
        [1, '}', 'punctuation.definition.japanese.end.tolvar'],
        [1, ', friend.', 'string.quoted.double.tolvar'],
        [1, ', friend.', '!meta.japanese.tolvar'],
    ]],
    ['text labels', S, ['T0077_0003', 'keywords t0a1f_0002', 'jump T0077_00031'], [
        [0, 'T0077_0003', 'constant.other.text-label.tolvar'],
        [1, 't0a1f_0002', 'constant.other.text-label.tolvar'],
        [2, 'T0077_00031', 'variable.other.label.tolvar'],
    ]],
    ['directives', S, ['menu:   .data "fish stew"', '.UNKNOWN.BYTE 7', '.unknown 300'], [
        [0, 'menu', 'entity.name.label.tolvar'],
        [0, '.data', 'keyword.control.directive.tolvar'],
        [0, 'fish stew', 'string.quoted.double.tolvar'],
        [1, '.UNKNOWN.BYTE', 'keyword.control.directive.tolvar'],
        [2, '.unknown', 'keyword.control.directive.tolvar'],
    ]],
    ['.option and its options', S, ['.option --md --implicit-int32 --no-u6-end ;x'], [
        [0, '.option', 'keyword.control.directive.option.tolvar'],
        [0, '--md', 'constant.language.option.tolvar'],
        [0, '--implicit-int32', 'constant.language.option.tolvar'],
        [0, '--no-u6-end', 'invalid.illegal.option.tolvar'],
        [0, ';x', 'invalid.illegal.option.tolvar'],
    ]],
    ['text file: comment and entry', T,
        ['; labels of the blacksmith', 'T0A1F_0001\tgreeting\t"Hello, \\"you\\" {ab}."'], [
        [0, '; labels', 'comment.line.tolvar-text'],
        [1, 'T0A1F_0001', 'entity.name.label.tolvar-text'],
        [1, 'greeting', 'comment.other.note.tolvar-text'],
        [1, 'Hello', 'string.quoted.double.tolvar'],
        [1, '\\"', 'constant.character.escape.tolvar'],
        [1, 'ab', 'meta.japanese.tolvar'],
    ]],
    ['text file: a line that is no entry', T, ['T0A1F_0001 greeting "Hi"'], [
        [0, 'T0A1F_0001 greeting', 'invalid.illegal.line.tolvar-text'],
    ]],
];

for (const [name, scope, lines, expectations] of cases) {
    test(name, async () => {
        const tokens = await tokenize(scope, lines);
        for (const [index, text, wanted] of expectations) {
            const at = lines[index].indexOf(text);
            assert.ok(at >= 0, `'${text}' is not in line ${index}`);
            const absent = wanted.startsWith('!');
            const scope_name = absent ? wanted.slice(1) : wanted;
            for (const token of tokens[index]) {
                if (token.end <= at || token.start >= at + text.length) {
                    continue;
                }
                assert.strictEqual(token.scopes.includes(scope_name), !absent,
                    `'${token.text}' in '${lines[index]}' has ${token.scopes.join(' ')}`);
            }
        }
    });
}

// The examples, and what run.sh had the decompiler make of them.
function sample_files() {
    const folders = [path.join(root, 'examples')];
    if (process.env.TOLVAR_SAMPLES) {
        folders.push(process.env.TOLVAR_SAMPLES);
    }
    return folders.flatMap((folder) => fs.readdirSync(folder).map((f) => path.join(folder, f)));
}

// What modders open: nothing is left unscoped or marked invalid.
test('the examples and decompiled scripts are fully scoped and valid', async () => {
    for (const file of sample_files()) {
        const scope = file.endsWith('.src') ? S : file.endsWith('.txt') ? T : null;
        if (scope === null) {
            continue;
        }
        const lines = fs.readFileSync(file, 'utf8').split(/\r?\n/);
        const tokens = await tokenize(scope, lines);
        tokens.forEach((line_tokens, index) => {
            for (const token of line_tokens) {
                const where = `${file}:${index + 1}: '${token.text}'`;
                if (token.text.trim() !== '') {
                    assert.ok(token.scopes.length > 1, `${where} has no scope`);
                }
                assert.ok(!token.scopes.some((s) => s.startsWith('invalid')),
                    `${where} is ${token.scopes.join(' ')}`);
            }
        });
    }
});

// VS Code picks the language by the first line when the name does not tell.
test('decompiled files are recognised by their first line', {skip: !process.env.TOLVAR_SAMPLES},
    () => {
        const manifest = JSON.parse(fs.readFileSync(path.join(extension, 'package.json'), 'utf8'));
        const first_line = Object.fromEntries(
            manifest.contributes.languages.map((l) => [l.id, new RegExp(l.firstLine)]));
        const decompiled = sample_files().filter((f) => f.startsWith(process.env.TOLVAR_SAMPLES));
        assert.ok(decompiled.some((f) => f.endsWith('.txt')), 'no decompiled text file');
        for (const file of decompiled) {
            const line = fs.readFileSync(file, 'utf8').split('\n')[0];
            const id = file.endsWith('.src') ? 'tolvar' : file.endsWith('.txt') ? 'tolvar-text'
                                                                                 : null;
            if (id !== null) {
                for (const [other, pattern] of Object.entries(first_line)) {
                    assert.strictEqual(pattern.test(line), other === id, `${file}: ${other}`);
                }
            }
        }
    });

test('the text file grammar reads texts by the script grammar\'s rules', () => {
    const script = JSON.parse(fs.readFileSync(grammar_files[S], 'utf8')).repository;
    const text = JSON.parse(fs.readFileSync(grammar_files[T], 'utf8')).repository;
    for (const rule of ['string', 'japanese', 'escape', 'text-invalid']) {
        assert.deepStrictEqual(text[rule], script[rule], rule);
    }
});

test('the extension\'s patterns are valid where VS Code reads them', () => {
    const manifest = JSON.parse(fs.readFileSync(path.join(extension, 'package.json'), 'utf8'));
    for (const language of manifest.contributes.languages) {
        assert.doesNotThrow(() => new RegExp(language.firstLine), language.id);
        const config = JSON.parse(fs.readFileSync(path.join(extension, language.configuration)));
        const rules = config.indentationRules || {};
        for (const pattern of [config.wordPattern, rules.increaseIndentPattern,
            rules.decreaseIndentPattern]) {
            if (pattern !== undefined) {
                assert.doesNotThrow(() => new RegExp(pattern), pattern);
            }
        }
    }
    for (const grammar of manifest.contributes.grammars) {
        const file = path.join(extension, grammar.path);
        assert.strictEqual(grammar_files[grammar.scopeName], file, grammar.scopeName);
    }
    if (process.env.TOLVAR_VERSION) {
        assert.strictEqual(manifest.version, process.env.TOLVAR_VERSION);
    }
});

test('the Sublime Text copies are made from the current grammars', () => {
    const { copies, plist_of } = require(path.join(root, 'tools', 'tmlanguage_plist.js'));
    for (const [from, to] of copies) {
        assert.strictEqual(fs.readFileSync(to, 'utf8'), plist_of(fs.readFileSync(from, 'utf8')),
            `${path.relative(root, to)} is stale: run node tools/tmlanguage_plist.js`);
    }
});
