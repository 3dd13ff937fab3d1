#!/usr/bin/env bash
# Regenerates Service/assets/vendor/argon2id.js, the Argon2id the widget's proof-of-work
# worker loads: the Argon2 and BLAKE2b WebAssembly modules of hash-wasm (MIT), taken as
# base64 from the package's dist/argon2.umd.min.js, where the library embeds them. The
# worker in Service/assets/quillgate.js drives them itself (one instance each for a whole
# solve); the library's JavaScript is left out. Usage: tools/vendor-argon2id.sh [VERSION]
# (default: the version in use). Then record the version and the SHA-256 it prints in
# Service/assets/vendor/README.vendor, run the browser test
# (tests/Service/browser/proof-of-work.test.mjs), which checks the worker's Argon2id
# against libsodium's, and rebuild the service, which compiles the file in.
set -euo pipefail
version=${1:-4.13.0}
root=$(cd "$(dirname "$0")/.." && pwd)
vendor=$root/Service/assets/vendor
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# npm pack fetches the published tarball and checks it against the registry's integrity.
(cd "$scratch" && npm pack --silent "hash-wasm@$version" >/dev/null)
tar -xzf "$scratch/hash-wasm-$version.tgz" -C "$scratch"
package=$scratch/package

VERSION=$version node - "$package" "$vendor/argon2id.js" <<'NODE'
const fs = require('fs');
const [packageDir, output] = process.argv.slice(2);
const manifest = JSON.parse(fs.readFileSync(packageDir + '/package.json', 'utf8'));
if (manifest.license !== 'MIT') throw new Error('hash-wasm is no longer MIT: ' + manifest.license);
const bundle = fs.readFileSync(packageDir + '/dist/argon2.umd.min.js', 'utf8');
// The exports the worker calls; a module without them is not the one it was written for.
const wanted = {
  argon2: ['memory', 'Hash_GetBuffer', 'Hash_SetMemorySize', 'Hash_Calculate'],
  blake2b: ['memory', 'Hash_GetBuffer', 'Hash_Init', 'Hash_Update', 'Hash_Final'],
};
const modules = {};
for (const name of Object.keys(wanted)) {
  const found = [...bundle.matchAll(new RegExp(`\\{name:"${name}",data:"([A-Za-z0-9+/=]+)"`, 'g'))];
  if (found.length !== 1) throw new Error(`${found.length} ${name} modules in dist/argon2.umd.min.js, not one`);
  const bytes = Buffer.from(found[0][1], 'base64');
  if (!WebAssembly.validate(bytes)) throw new Error(`the ${name} module is not valid WebAssembly`);
  const exports = WebAssembly.Module.exports(new WebAssembly.Module(bytes)).map((entry) => entry.name);
  const missing = wanted[name].filter((entry) => !exports.includes(entry));
  if (missing.length) throw new Error(`the ${name} module lacks ${missing.join(', ')}`);
  modules[name] = found[0][1];
}
fs.writeFileSync(output,
  `/*! hash-wasm ${manifest.version} (https://www.npmjs.com/package/hash-wasm): its Argon2 and BLAKE2b\n` +
  ` *  WebAssembly modules in base64. (c) Dani Biró, MIT License: hash-wasm.LICENSE beside this file.\n` +
  ` *  Made by tools/vendor-argon2id.sh; the proof-of-work worker in quillgate.js drives them. */\n` +
  `self.quillgateArgon2idModules = {\n` +
  `  argon2: '${modules.argon2}',\n` +
  `  blake2b: '${modules.blake2b}'\n` +
  `};\n`);
NODE
install -m 0644 "$package/LICENSE" "$vendor/hash-wasm.LICENSE"
echo "hash-wasm $version: $(sha256sum "$vendor/argon2id.js" | cut -d' ' -f1)  argon2id.js"
