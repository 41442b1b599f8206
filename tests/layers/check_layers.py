#!/usr/bin/env python3
"""Fails when a source file includes one from a layer above its own.

Layers, top down: app -> ui -> report -> procedure -> rig, records -> link -> protocol; sim
and tools stand beside (sim on protocol and link, tools on report and below). Inside ui,
result is a leaf the record and run windows share, and the history (records) never
includes the run window. Nothing below ui includes a widget header.

Usage: check_layers.py SOURCE_ROOT
"""
import os
import re
import sys

BELOW_UI = {"procedure", "rig", "records", "link", "protocol"}

# What a folder may include, by the include's first folder.
ALLOWED = {
    "src/protocol": {"protocol"},
    "src/link": {"link", "protocol"},
    "src/records": {"records", "link", "protocol"},
    "src/rig": {"rig", "link", "protocol"},
    "src/procedure": BELOW_UI,
    "src/report": {"report"} | BELOW_UI,
    "src/ui": {"ui", "report"} | BELOW_UI,
    "src/app": {"app", "ui", "report", "sim"} | BELOW_UI,
    "sim": {"sim", "protocol", "link"},
    "tools": {"tools", "report"} | BELOW_UI,
}
# Single headers a folder may take from a layer it otherwise does not use: the
# simulator serves its rig on the rig driver's default register map.
ALLOWED_FILES = {
    "sim": {"rig/sim_rig_map.h"},
}
# Inside ui, by subfolder.
UI_ALLOWED = {
    "common": {"common"},
    "result": {"result", "common"},
    "records": {"records", "result", "common"},
    "calibration": {"calibration", "records", "result", "common"},
    "run": {"run", "records", "result", "calibration", "common"},
    "settings": {"settings", "common"},
    "main": {"main", "run", "records", "result", "calibration", "settings", "common"},
}
WIDGET_FREE = ["src/protocol", "src/link", "src/records", "src/rig", "src/procedure", "src/report", "sim", "tools"]
SOURCE = re.compile(r"\.(h|hpp|cpp|cc)$")
QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
ANGLED = re.compile(r"^\s*#\s*include\s+<([^>]+)>", re.M)


def widget_headers():
    """The QtWidgets header names, from the installed Qt when it can be found."""
    names = {"qcustomplot.h"}
    for base in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6", "/usr/include/qt6"):
        folder = os.path.join(base, "QtWidgets")
        if os.path.isdir(folder):
            names |= {n for n in os.listdir(folder) if n.startswith("Q") and "." not in n}
            break
    else:
        names |= {"QWidget", "QApplication", "QDialog", "QMainWindow", "QPushButton", "QLabel", "QMessageBox"}
    return names


def folder_of(rel):
    for folder in ALLOWED:
        if rel.startswith(folder + "/"):
            return folder
    return None


def check(root):
    faults = []
    widgets = widget_headers()
    for top in ("src", "sim", "tools"):
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not SOURCE.search(name):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                folder = folder_of(rel)
                if folder is None:
                    continue
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for inc in QUOTED.findall(text):
                    if "/" not in inc:
                        continue  # a file beside it
                    layer = inc.split("/")[0]
                    if layer not in ALLOWED[folder] and inc not in ALLOWED_FILES.get(folder, set()):
                        faults.append(f"{rel}: includes {inc}, a layer above or beside {folder}")
                    elif folder == "src/ui" and layer == "ui":
                        own = rel.split("/")[2] if rel.count("/") >= 3 else ""
                        sub = inc.split("/")[1] if inc.count("/") >= 2 else ""
                        if own in UI_ALLOWED and sub not in UI_ALLOWED[own]:
                            faults.append(f"{rel}: includes {inc}, ui/{sub} is not below ui/{own}")
                if any(rel.startswith(w + "/") for w in WIDGET_FREE):
                    for inc in ANGLED.findall(text):
                        base = inc.split("/")[-1]
                        if inc.startswith("QtWidgets/") or base in widgets:
                            faults.append(f"{rel}: includes the widget header <{inc}> below ui")
    return faults


def self_test():
    """The guard itself: each kind of upward include in a small tree is found, a clean one passes."""
    import tempfile

    cases = [
        ("src/records/a.cpp", '#include "procedure/run_plan.h"\n', True),
        ("src/link/a.h", '#include "records/snapshot.h"\n', True),
        ("src/procedure/a.cpp", '#include "ui/run/form_calibration_run.h"\n', True),
        ("src/procedure/b.cpp", "#include <QPushButton>\n", True),
        ("src/report/a.cpp", '#include "ui/result/run_result_view.h"\n', True),
        ("src/report/b.cpp", "#include <qcustomplot.h>\n", True),
        ("src/procedure/c.cpp", '#include "report/pdf_page.h"\n', True),
        ("src/report/c.cpp", '#include "procedure/decision_rule.h"\n#include <QPainter>\n', False),
        ("tools/a.cpp", '#include "app/demo_meter.h"\n', True),
        ("sim/a.cpp", '#include "rig/modbus_rig.h"\n', True),
        ("src/ui/result/a.cpp", '#include "ui/records/form_history.h"\n', True),
        ("src/ui/records/a.cpp", '#include "ui/run/run_plan_page.h"\n', True),
        ("src/ui/run/a.cpp", '#include "ui/records/restore_flow.h"\n#include "procedure/run_plan.h"\n', False),
        ("sim/b.cpp", '#include "rig/sim_rig_map.h"\n#include "link/dm1.h"\n', False),
        ("src/records/b.cpp", '#include "link/dm1.h"\n#include "plain.h"\n#include <QObject>\n', False),
    ]
    failed = 0
    for rel, text, upward in cases:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, os.path.dirname(rel)))
            with open(os.path.join(root, rel), "w", encoding="utf-8") as f:
                f.write(text)
            found = bool(check(root))
            if found != upward:
                failed += 1
                print(f"self-test: {rel} with {text.strip()!r}: {'missed' if upward else 'refused wrongly'}")
    print(f"self-test: {len(cases) - failed} of {len(cases)} cases right")
    return 1 if failed else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    faults = check(sys.argv[1])
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
