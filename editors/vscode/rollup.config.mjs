// The client and the language client library in one file, dist/extension.js:
// the .vsix then carries no node_modules. `vscode` is the editor's own.
import commonjs from '@rollup/plugin-commonjs';
import { nodeResolve } from '@rollup/plugin-node-resolve';

export default {
  input: 'extension.js',
  output: { file: 'dist/extension.js', format: 'cjs', exports: 'default' },
  external: ['vscode'],
  plugins: [nodeResolve({ preferBuiltins: true }), commonjs()],
};
