"""Sizes of the three deliverables against their limits."""

import benchlib

KB = 1024
SIZES = [
    ("dist/x64/varnhold.exe", 600 * KB, "64-bit console build"),
    ("dist/varnhold.exe", None, "32-bit console build, carrying the 64-bit one"),
    ("dist/ui/varnhold_ui.exe", 2048 * KB, "dialog program, carrying the 32-bit build"),
]


def main():
    rows = []
    met = True
    for name, limit, what in SIZES:
        size = (benchlib.ROOT / name).stat().st_size
        rows.append("%s %d KB%s" % (name, round(size / KB),
                                    "" if limit is None else " (limit %d KB, %.2f of it)"
                                    % (limit // KB, size / limit)))
        met = met and (limit is None or size <= limit)
    x64 = (benchlib.ROOT / SIZES[0][0]).stat().st_size
    ui = (benchlib.ROOT / SIZES[2][0]).stat().st_size
    benchlib.save("exe_sizes", {
        "title": "Sizes of the three exes",
        "value": "; ".join(rows),
        "baseline": "limits 600 KB (64-bit console), 2 MB (dialog)",
        "ratio": "%.2f / %.2f of the limits" % (x64 / SIZES[0][1], ui / SIZES[2][1]),
        "target": "<= 600 KB, <= 2 MB",
        "met": met,
    })


if __name__ == "__main__":
    main()
