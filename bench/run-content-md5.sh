#!/bin/sh
# Builds the benchmarks, makes a large test file (once) and prints how the
# signature search compares with `grep -c -F`, and md5 with OpenSSL's MD5.
#   bench/run-content-md5.sh [size in MiB, default 256]
set -eu
cd "$(dirname "$0")/.."
size_mib=${1:-256}
# GCC 12 reports a false -Wrestrict on std::u16string concatenation at -O3
# (GCC bug 105329); the optimised build would otherwise stop on it.
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target content_md5_bench

# Text like the files of an extension folder (script, XUL, RDF), without the
# searched signature: 4 MiB of pseudo-random tokens, repeated to the size.
data=build/bench/content-md5-${size_mib}MiB.dat
if [ ! -f "$data" ]; then
  python3 - "$data" "$size_mib" <<'PY'
import random, sys
path, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(20100703)
words = ['var', 'function', 'return', 'this', 'overlay', 'xulcache', 'id="', 'content/', 'chrome://',
         '<menuitem', 'label="', 'oncommand="', '/>', 'window.', 'document.getElementById(', ');', '{', '}',
         'if', 'else', 'true', 'false', 'null', 'em:id', '<Description', 'about="urn:mozilla:install-manifest"',
         'xul', 'overlay.xul', 'xulrunner', 'cache', 'timer', 'setTimeout(', '1000', 'http://', '.js"', '=']
lines = []
size = 0
while size < 4 << 20:
    line = ' '.join(rng.choice(words) for _ in range(rng.randint(3, 14))) + '\r\n'
    lines.append(line)
    size += len(line)
block = ''.join(lines).encode()
assert b'id="xulcache-overlay"' not in block
with open(path, 'wb') as f:
    for _ in range((mib << 20) // len(block) + 1):
        f.write(block)
    f.truncate(mib << 20)
PY
fi
exec build/bench/bench/content_md5_bench --file="$data"
