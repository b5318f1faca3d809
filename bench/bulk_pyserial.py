#!/usr/bin/python3
"""The bulk transfer of bench_bulk through pySerial (Debian python3-serial): open at 38400 8N1,
then per round one write() and one read() of the whole transfer. Prints each round's wall time in
milliseconds, as the C++ clients do (bench/bulk_common.h).

    bulk_pyserial.py PATH ROUNDS [BYTES]
"""
import sys
import time

import serial

LIMIT_S = 10


def pattern(count):
    """The transfer's bytes: byte k is (k * 31 + (k >> 8)) mod 256, as in bulk_common.h."""
    return bytes((k * 31 + (k >> 8)) & 0xFF for k in range(count))


def main():
    if len(sys.argv) < 3:
        print("usage: bulk_pyserial.py PATH ROUNDS [BYTES]", file=sys.stderr)
        return 2
    path, rounds = sys.argv[1], int(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1 << 20
    data = pattern(count)
    port = serial.Serial(path, 38400, timeout=LIMIT_S, write_timeout=LIMIT_S)
    for round_ in range(rounds):
        start = time.perf_counter()
        port.write(data)
        back = port.read(count)
        took = time.perf_counter() - start
        if back != data:
            print(f"round {round_}: {len(back)} bytes came back, not the {count} sent", file=sys.stderr)
            return 1
        print(f"{took * 1000:.3f}", flush=True)
    port.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
