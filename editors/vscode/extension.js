// Starts tolvar-lsp for scripts and text files: diagnostics as you type,
// hover, navigation, outline, rename, completion and offsets as inlay
// hints. The settings tolvar.game and tolvar.textFile go to the server;
// tolvar.serverPath names the command when it is not on the PATH.
'use strict';
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const config = vscode.workspace.getConfiguration('tolvar');
  const serverOptions = {
    command: config.get('serverPath') || 'tolvar-lsp',
    transport: TransportKind.stdio,
  };
  const clientOptions = {
    documentSelector: [
      { scheme: 'file', language: 'tolvar' },
      { scheme: 'file', language: 'tolvar-text' },
    ],
    initializationOptions: { game: config.get('game'), textFile: config.get('textFile') },
    synchronize: { configurationSection: 'tolvar' },
  };
  client = new LanguageClient('tolvar', 'tolvar language server', serverOptions, clientOptions);
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
