#!/usr/bin/env bash
# The scan's finds in data that holds no pictures, for docs/DESIGN.md: seeded random bytes,
# /dev/urandom, system libraries, and random data seeded with valid BMP headers whose colour
# tables and pixels are random. Usage: scripts/scan-false-finds.sh VELLUMCONV [WORKDIR]
# (WORKDIR needs about 2.2 GB; Python 3.9 or later).
set -euo pipefail
conv=$(realpath "$1")
work=${2:-$(mktemp -d)}
mkdir -p "$work"
cd "$work"

python3 -c '
import random
random.seed(20240601)
with open("random256.bin", "wb") as f:
    for _ in range(256):
        f.write(random.randbytes(1 << 20))
'
for i in 1 2 3 4; do head -c 64M /dev/urandom > "urandom$i.bin"; done
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' | LC_ALL=C sort | xargs cat 2>/dev/null |
  head -c 256M > libs256.bin || true
# One million 8x8 BMPs of each of 1, 4 and 8 bits with full tables: only the tables' and the
# pixels' bytes are random, so the finds measure the table's rule alone.
python3 -c '
import random, struct
random.seed(7)
out = bytearray()
for i in range(3000000):
    bits = (1, 4, 8)[i % 3]
    row = ((8 * bits + 31) // 32) * 4
    pix, off = row * 8, 54 + 4 * (1 << bits)
    out += b"BM" + struct.pack("<IHHI", off + pix, 0, 0, off)
    out += struct.pack("<IiiHHIIiiII", 40, 8, 8, 1, bits, 0, pix, 0, 0, 0, 0)
    out += random.randbytes(4 * (1 << bits) + pix)
open("planted.bin", "wb").write(out)
'
for f in random256 urandom1 urandom2 urandom3 urandom4 libs256 planted; do
  printf '%s\t%s finds\n' "$f.bin" "$("$conv" scan --nested -j 2 "$f.bin" | wc -l)"
done
