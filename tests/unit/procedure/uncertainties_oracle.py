#!/usr/bin/python3
"""Combined standard uncertainty of budgets by the uncertainties package, an
independent linear error propagation: reads [[u1, u2, ...], ...] as JSON on stdin,
writes [u_c, ...]. Each component is a quantity of its own, the result their sum."""
import json
import sys

from uncertainties import ufloat


def main():
    out = []
    for budget in json.load(sys.stdin):
        total = sum((ufloat(1.0, u, tag=str(i)) for i, u in enumerate(budget)), ufloat(0.0, 0.0))
        out.append(total.std_dev)
    json.dump(out, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
