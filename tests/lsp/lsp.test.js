// tolvar-lsp driven as an editor drives it: the protocol libraries of VS
// Code's client over the server's standard input and output. One session
// on the oracle example (Zavarad Avudad, texts in oracle.txt), then raw
// bytes for the input no client should send.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const path = require('node:path');
const fs = require('node:fs');
const { pathToFileURL } = require('node:url');
const rpc = require('vscode-languageserver-protocol/node');

const server = process.env.TOLVAR_LSP;
const examples = path.resolve(process.env.TOLVAR_EXAMPLES);
const scriptPath = path.join(examples, 'oracle.src');
const uri = pathToFileURL(scriptPath).href;
const textUri = pathToFileURL(path.join(examples, 'oracle.txt')).href;
const original = fs.readFileSync(scriptPath, 'latin1');
const lines = original.split('\n');
const os = require('node:os');
const { execFileSync } = require('node:child_process');

// The offset of a line, told by the compiler itself: the size of the
// byte-code of the lines before it.
function offsetOfLine(line) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tolvar-lsp-'));
  const prefix = path.join(dir, 'prefix.src');
  fs.writeFileSync(prefix, lines.slice(0, line).join('\n') + '\n', 'latin1');
  execFileSync(process.env.TOLVAR, [prefix, '-t', path.join(examples, 'oracle.txt'),
    '-o', path.join(dir, 'prefix.bin')], { stdio: 'ignore' });
  const size = fs.statSync(path.join(dir, 'prefix.bin')).size;
  fs.rmSync(dir, { recursive: true });
  return size;
}
const consultOffset = offsetOfLine(lines.findIndex((text) => /^consult:/.test(text)));
const hex8 = (n) => n.toString(16).toUpperCase().padStart(8, '0');

// Line and character of the first `word` on the first line matching `line`.
function at(line, word, offset = 0) {
  const row = lines.findIndex((text) => line.test(text));
  assert.ok(row >= 0, `no line ${line}`);
  const character = lines[row].indexOf(word);
  assert.ok(character >= 0, `no ${word} on line ${row}`);
  return { line: row, character: character + offset };
}

describe('a session over the oracle example', () => {
  let child;
  let connection;
  let version = 1;
  const published = [];  // every publishDiagnostics, in order
  const waiters = [];

  function diagnosticsFor(wanted) {
    return new Promise((resolve) => {
      const check = () => {
        const found = published.find((p) => p.uri === uri && p.version === wanted);
        if (found) resolve(found);
        return Boolean(found);
      };
      if (!check()) waiters.push(check);
    });
  }

  async function change(edit) {
    version += 1;
    await connection.sendNotification(rpc.DidChangeTextDocumentNotification.type, {
      textDocument: { uri, version }, contentChanges: [edit],
    });
    return version;
  }

  const position = (p) => ({ textDocument: { uri }, position: p });

  before(async () => {
    child = spawn(server, [], { stdio: ['pipe', 'pipe', 'inherit'] });
    connection = rpc.createProtocolConnection(
      new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
    connection.onNotification(rpc.PublishDiagnosticsNotification.type, (params) => {
      published.push(params);
      for (let i = waiters.length - 1; i >= 0; --i) if (waiters[i]()) waiters.splice(i, 1);
    });
    connection.listen();
    const init = await connection.sendRequest(rpc.InitializeRequest.type, {
      processId: process.pid, rootUri: null, capabilities: {},
    });
    assert.strictEqual(init.capabilities.positionEncoding, 'utf-16');
    await connection.sendNotification(rpc.InitializedNotification.type, {});
    await connection.sendNotification(rpc.DidOpenTextDocumentNotification.type, {
      textDocument: { uri, languageId: 'tolvar', version, text: original },
    });
  });

  after(() => { child.kill(); });

  it('publishes no diagnostics for the example as it is', async () => {
    const result = await diagnosticsFor(1);
    assert.deepStrictEqual(result.diagnostics, []);
  });

  it('hovers keywords, numbers, labels and text labels from the compile', async () => {
    const cases = [
      [at(/^\s+sident 77/, 'sident'), /sident id, name[\s\S]*0xFF[\s\S]*Zavarad Avudad/],
      [at(/^\s+sident 77/, '77'), /77 = 0x4D[\s\S]*1 byte/],
      [at(/^\s+portrait eval byte 77/, '77'), /77 = 0x4D[\s\S]*after the byte D3/],
      [at(/^\s+sident 77/, 'T0077_0001'), /"Ysolde"/],
      [at(/jump consult/, 'consult'), new RegExp(`byte offset 0x${hex8(consultOffset)} \\(${consultOffset}\\)`)],
    ];
    for (const [where, expected] of cases) {
      const hover = await connection.sendRequest(rpc.HoverRequest.type, position(where));
      assert.match(hover.contents.value, expected, JSON.stringify(where));
    }
  });

  it('goes to the definitions of labels and text labels', async () => {
    const label = await connection.sendRequest(rpc.DefinitionRequest.type,
      position(at(/jump consult/, 'consult', 2)));
    assert.deepStrictEqual(label.range.start, at(/^consult:/, 'consult'));
    const text = await connection.sendRequest(rpc.DefinitionRequest.type,
      position(at(/^\s+slook/, 'T0077_0002')));
    assert.strictEqual(text.uri, textUri);
    const textLines = fs.readFileSync(path.join(examples, 'oracle.txt'), 'latin1').split('\n');
    assert.match(textLines[text.range.start.line], /^T0077_0002\t/);
  });

  it('finds every reference of a label and renames them all', async () => {
    const where = at(/^consult:/, 'consult');
    const refs = await connection.sendRequest(rpc.ReferencesRequest.type,
      { ...position(where), context: { includeDeclaration: true } });
    const expected = lines.flatMap((text, line) =>
      [...text.matchAll(/\bconsult\b/g)].filter(() => !/^\s*;/.test(text))
        .map((m) => ({ line, character: m.index })));
    assert.deepStrictEqual(refs.map((r) => r.range.start), expected);
    const edit = await connection.sendRequest(rpc.RenameRequest.type,
      { ...position(where), newName: 'ask_again' });
    assert.deepStrictEqual(edit.changes[uri].map((e) => e.range.start), expected);
    assert.ok(edit.changes[uri].every((e) => e.newText === 'ask_again'));
    await assert.rejects(connection.sendRequest(rpc.RenameRequest.type,
      { ...position(where), newName: 'jump' }));
  });

  it('completes what the game accepts, labels and texts', async () => {
    const items = await connection.sendRequest(rpc.CompletionRequest.type,
      position({ line: at(/^consult:/, 'sprefix').line, character: 8 }));
    const labels = new Map(items.map((item) => [item.label, item]));
    assert.match(labels.get('misc_action').detail, /^misc_action action_no$/);
    assert.ok(!labels.has('end'), 'end is a Dovadi VI keyword');
    assert.ok(!labels.has('=='), 'operators are not offered');
    assert.strictEqual(labels.get('consult').detail, `label at ${hex8(consultOffset)}`);
    assert.strictEqual(labels.get('T0077_0001').detail, '"Ysolde"');
    const options = await connection.sendRequest(rpc.CompletionRequest.type,
      position({ line: at(/^\.option/, '.option').line, character: 8 }));
    assert.ok(options.some((o) => o.label === '--implicit-eval'));
  });

  it('shows each statement\'s byte offset as an inlay hint', async () => {
    const hints = await connection.sendRequest(rpc.InlayHintRequest.type,
      { textDocument: { uri }, range: { start: { line: 0, character: 0 }, end: { line: lines.length, character: 0 } } });
    const byLine = new Map(hints.map((h) => [h.position.line, h.label]));
    assert.strictEqual(byLine.get(at(/^\s+sident 77/, 'sident').line), '00000000');
    assert.strictEqual(byLine.get(at(/^consult:/, 'consult').line), hex8(consultOffset));
    assert.ok(!byLine.has(0), 'a comment line has no offset');
  });

  it('outlines labels, if blocks and keyword groups', async () => {
    const symbols = await connection.sendRequest(rpc.DocumentSymbolRequest.type,
      { textDocument: { uri } });
    const names = symbols.map((s) => s.name);
    assert.ok(names.includes('consult'));
    const group = symbols.find((s) => s.name.startsWith('keywords T0077_0005'));
    assert.ok(group.children.some((c) => c.name.startsWith('if ')));
  });

  it('reports an error where it is, and a character with no Shift-JIS form in UTF-16 units', async () => {
    const line = at(/^\s+slook/, 'slook').line;
    const broken = await change({
      range: { start: { line, character: 0 }, end: { line, character: 0 } },
      text: 'bogus\n',
    });
    const first = await diagnosticsFor(broken);
    assert.deepStrictEqual(first.diagnostics.map((d) => [d.code, d.severity, d.range.start.line]),
      [[972, 1, line]]);
    // 😀 is two UTF-16 units and has no Shift-JIS form; the range covers it exactly.
    const emoji = await change({
      range: { start: { line, character: 0 }, end: { line: line + 1, character: 0 } },
      text: '        "ab😀" ; x\n',
    });
    const second = await diagnosticsFor(emoji);
    const bad = second.diagnostics.find((d) => d.code === 6001);
    assert.deepStrictEqual(bad.range, { start: { line, character: 11 }, end: { line, character: 13 } });
  });

  it('never publishes an older version over a newer one', async () => {
    const line = at(/^\s+slook/, 'slook').line;
    let last;
    for (let i = 0; i < 5; ++i) {
      last = await change({ range: { start: { line, character: 0 }, end: { line, character: 0 } }, text: ' ' });
    }
    await diagnosticsFor(last);
    const versions = published.filter((p) => p.uri === uri).map((p) => p.version);
    assert.deepStrictEqual(versions, [...versions].sort((a, b) => a - b));
  });

  it('shuts down and exits with status 0', async () => {
    const exited = new Promise((resolve) => child.on('exit', resolve));
    await connection.sendRequest(rpc.ShutdownRequest.type);
    await connection.sendNotification(rpc.ExitNotification.type);
    assert.strictEqual(await exited, 0);
  });
});

// The same character's place in each position encoding the server takes:
// 😀 follows two ASCII letters and a Japanese one (three bytes of UTF-8).
describe('positions in the encoding the client offers', () => {
  const cases = [
    [undefined, 'utf-16', 14, 16],
    [['utf-16'], 'utf-16', 14, 16],
    [['utf-8', 'utf-16'], 'utf-8', 16, 20],
  ];
  for (const [offered, chosen, start, end] of cases) {
    it(`${JSON.stringify(offered)} gives ${chosen}`, async () => {
      const child = spawn(server, [], { stdio: ['pipe', 'pipe', 'inherit'] });
      const connection = rpc.createProtocolConnection(
        new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
      const diagnostics = new Promise((resolve) =>
        connection.onNotification(rpc.PublishDiagnosticsNotification.type, resolve));
      connection.listen();
      const capabilities = offered ? { general: { positionEncodings: offered } } : {};
      const init = await connection.sendRequest(rpc.InitializeRequest.type,
        { processId: null, rootUri: null, capabilities });
      assert.strictEqual(init.capabilities.positionEncoding, chosen);
      await connection.sendNotification(rpc.DidOpenTextDocumentNotification.type, {
        textDocument: { uri: 'file:///nowhere/p.src', languageId: 'tolvar', version: 1,
          text: '        "ab{日}😀"\n' },
      });
      const bad = (await diagnostics).diagnostics.find((d) => d.code === 6001);
      assert.deepStrictEqual(bad.range,
        { start: { line: 0, character: start }, end: { line: 0, character: end } });
      child.kill();
    });
  }
});

// Raw bytes: what a broken or hostile client may send. Each case runs its
// own server; the answers are JSON-RPC errors and the exit status is the
// protocol's, never a crash or a hang.
function frame(body) {
  return `Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
}
const init = frame('{"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}}');
const shutdown = frame('{"jsonrpc":"2.0","id":9,"method":"shutdown"}');
const exit = frame('{"jsonrpc":"2.0","method":"exit"}');

function runRaw(input) {
  return new Promise((resolve) => {
    const child = spawn(server, [], { stdio: ['pipe', 'pipe', 'ignore'] });
    const chunks = [];
    child.stdout.on('data', (c) => chunks.push(c));
    child.on('close', (status) => {  // after the output is read to its end
      let out = Buffer.concat(chunks).toString('utf8');
      const messages = [];
      for (let m; (m = /^Content-Length: (\d+)\r\n\r\n/.exec(out));) {
        const start = m[0].length;
        messages.push(JSON.parse(out.slice(start, start + Number(m[1]))));
        out = out.slice(start + Number(m[1]));
      }
      resolve({ status, messages });
    });
    child.stdin.on('error', () => {});
    child.stdin.end(input);
  });
}

describe('bad input', () => {
  const errors = (messages) => messages.filter((m) => m.error).map((m) => m.error.code);
  const cases = [
    ['a request before initialize', frame('{"jsonrpc":"2.0","id":1,"method":"textDocument/hover","params":{}}') + exit, [-32002], 1],
    ['a header without a length', 'Content-Type: x\r\n\r\n' + init + shutdown + exit, [-32700], 0],
    ['a length that is not a number', 'Content-Length: 1e3\r\n\r\n' + init + shutdown + exit, [-32700], 0],
    ['invalid JSON', init + frame('{"jsonrpc":"2.0",') + shutdown + exit, [-32700], 0],
    ['not JSON-RPC', init + frame('[1,2]') + frame('{"jsonrpc":"1.0","id":3,"method":"x"}') + shutdown + exit, [-32600, -32600], 0],
    ['an unknown method', init + frame('{"jsonrpc":"2.0","id":4,"method":"no/such"}') + shutdown + exit, [-32601], 0],
    ['params of the wrong kind', init + frame('{"jsonrpc":"2.0","id":5,"method":"textDocument/hover","params":{"textDocument":7}}') + shutdown + exit, [-32602], 0],
    ['a request after shutdown', init + shutdown + frame('{"jsonrpc":"2.0","id":6,"method":"textDocument/hover","params":{}}') + exit, [-32600], 0],
    ['a message over the size limit', init + 'Content-Length: 67108865\r\n\r\n{}', [-32803], 1],
    ['exit without shutdown', init + exit, [], 1],
    ['the input ends without exit', init, [], 1],
  ];
  for (const [name, input, codes, status] of cases) {
    it(name, async () => {
      const result = await runRaw(input);
      assert.deepStrictEqual(errors(result.messages), codes);
      assert.strictEqual(result.status, status);
    });
  }
});
