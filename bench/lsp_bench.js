// Time from a change to its diagnostics, as a client sees it, and the
// server's own CPU time per change (from /proc), for generated scripts;
// then the server's peak memory. It measures; nothing is judged.
//   node bench/lsp_bench.js TOLVAR-LSP TOLVAR_SCRIPTGEN [BYTES...]
// with NODE_PATH at a node_modules holding tests/lsp's packages.
'use strict';
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const rpc = require('vscode-languageserver-protocol/node');

const [server, scriptgen, ...sizes] = process.argv.slice(2);
const CHANGES = 200;

function cpuMs(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 1000 / 100;  // utime + stime, in ticks of 10 ms
}

function status(pid, key) {
  const line = fs.readFileSync(`/proc/${pid}/status`, 'utf8').split('\n').find((l) => l.startsWith(key));
  return line.replace(/\s+/g, ' ');
}

async function measure(bytes) {
  const text = execFileSync(scriptgen, [String(bytes)], { maxBuffer: 1 << 28 }).toString('latin1');
  const child = spawn(server, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const connection = rpc.createProtocolConnection(
    new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
  const waiting = new Map();
  connection.onNotification(rpc.PublishDiagnosticsNotification.type, (p) => {
    const resolve = waiting.get(p.version);
    if (resolve) { waiting.delete(p.version); resolve(p); }
  });
  connection.listen();
  await connection.sendRequest(rpc.InitializeRequest.type, { processId: null, rootUri: null, capabilities: {} });
  const uri = 'file:///bench/generated.src';
  const opened = new Promise((resolve) => waiting.set(1, resolve));
  await connection.sendNotification(rpc.DidOpenTextDocumentNotification.type,
    { textDocument: { uri, languageId: 'tolvar', version: 1, text } });
  const first = await opened;
  const line = Math.floor(text.split('\n').length / 2);
  const times = [];
  const cpuBefore = cpuMs(child.pid);
  for (let version = 2; version < CHANGES + 2; ++version) {
    // Alternately add and remove one blank at the start of a middle line.
    const change = version % 2 === 0
      ? { range: { start: { line, character: 0 }, end: { line, character: 0 } }, text: ' ' }
      : { range: { start: { line, character: 0 }, end: { line, character: 1 } }, text: '' };
    const done = new Promise((resolve) => waiting.set(version, resolve));
    const start = process.hrtime.bigint();
    await connection.sendNotification(rpc.DidChangeTextDocumentNotification.type,
      { textDocument: { uri, version }, contentChanges: [change] });
    await done;
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  const cpu = (cpuMs(child.pid) - cpuBefore) / CHANGES;
  const memory = status(child.pid, 'VmHWM');
  await connection.sendRequest(rpc.ShutdownRequest.type);
  await connection.sendNotification(rpc.ExitNotification.type);
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))].toFixed(2);
  console.log(`${(text.length / 1024).toFixed(0)} KB, ${first.diagnostics.length} diagnostics: ` +
    `change to diagnostics median ${at(0.5)} ms, 95% ${at(0.95)} ms, max ${at(1)} ms; ` +
    `server CPU ${cpu.toFixed(2)} ms per change; peak memory ${memory.split(' ').slice(1).join(' ')}`);
}

(async () => {
  for (const bytes of sizes.length ? sizes : ['20000', '1000000']) await measure(Number(bytes));
})();
