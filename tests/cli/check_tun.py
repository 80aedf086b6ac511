#!/usr/bin/python3
"""Reads an AnaMark .tun file by the format's description, independently of
microtune, and checks each key's frequency against `microtune keys --csv`
(unmapped keys: 12-TET) within 0.0001 cents.

  check_tun.py FILE.tun KEYS.csv
Prints "ok", or "FAIL: why" and exits 1."""
import csv
import math
import sys


def read_tun(path):
    """Key -> Hz: [Exact Tuning] (its basefreq) over [Tuning] (8.1758 Hz), else 12-TET."""
    cents = {k: (100.0 * k, 'tuning') for k in range(128)}
    bases = {'tuning': 440 * 2 ** (-69 / 12), 'exact tuning': 440 * 2 ** (-69 / 12)}
    section = None
    for line in open(path, encoding='utf-8'):
        line = line.split(';')[0].strip()
        if line.startswith('['):
            section = line.strip('[]').strip().lower()
        elif '=' in line and section in bases:
            name, value = (part.strip().lower() for part in line.split('=', 1))
            if name == 'basefreq':
                bases[section] = float(value)
            elif name.startswith('note ') and (section == 'exact tuning' or cents[int(name[5:])][1] == 'tuning'):
                cents[int(name[5:])] = (float(value), section)
    return {k: bases[s] * 2 ** (c / 1200) for k, (c, s) in cents.items()}


def main():
    keys = read_tun(sys.argv[1])
    for row in csv.DictReader(open(sys.argv[2])):
        key = int(row['key'])
        hz = 440 * 2 ** ((key - 69) / 12) if row['degree'] == 'unmapped' else float(row['hz'])
        off = 1200 * math.log2(keys[key] / hz)
        if abs(off) > 0.0001 + 1200 * math.log2(1 + 1e-9):  # the listing's ten digits
            print('FAIL: key %d is %.6f Hz in the .tun, %.6f Hz listed' % (key, keys[key], hz))
            sys.exit(1)
    print('ok')


main()
