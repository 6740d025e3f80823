#!/usr/bin/env python3
"""Typed texts x locales: veltrano-cli never computes with a number other
than the one a person typed.

For each of 20 locales (compiled into a private LOCPATH), every field text
below goes into one field of the worked example. Each text has the value a
person typing it means. The CLI may refuse a text (error 13, or 6), but when
it accepts one its whole output must be the independent reference's output
for the meant value (cli_reference.column), to the bit. Refusals must be one
safe line: no control character may reach the terminal.

usage: locale_forms.py path/to/veltrano-cli
Prints the counts; exit status 1 on any wrong number or unsafe message.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cli_reference as ref  # noqa: E402

LOCALES = ["C", "en_US", "en_GB", "de_DE", "de_CH", "fr_FR", "fr_CA", "ru_RU", "pl_PL", "zh_CN",
           "zh_TW", "ja_JP", "it_IT", "es_ES", "pt_BR", "nl_NL", "sv_SE", "cs_CZ", "hi_IN", "da_DK"]
EXAMPLE = [100.0, 0.5, 0.95, 0.05, 2.0, 2.5]  # F xF xD xW R alpha
FIELDS = ["F", "xF", "xD", "xW", "R", "alpha"]


def separators(locpath, name):
    env = {"LOCPATH": locpath, "LC_ALL": name + ".UTF-8", "PATH": "/usr/bin:/bin"}
    out = subprocess.run(["locale", "-k", "decimal_point", "thousands_sep"], env=env,
                         capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.splitlines())
    return values["decimal_point"].strip('"'), values["thousands_sep"].strip('"')


def texts(dp, group):
    """(field, text, meant value or None) for one locale. None: the text means
    no number at all; it must be refused."""
    other = "," if dp == "." else "."
    rows = []
    for field, v, digits in (("xD", 0.95, "95"), ("xW", 0.05, "05"), ("xF", 0.5, "5")):
        plain = "0" + dp + digits
        rows += [(field, plain, v), (field, " " + plain + " ", v), (field, "\u3000" + plain + "\t", v),
                 (field, "+" + plain, v), (field, dp + digits, v), (field, "00" + dp + digits, v),
                 (field, plain + "e0", v), (field, plain + "0E+0", v),
                 # the other notation: never a number other than the fraction meant
                 (field, "0" + other + digits + "0", v), (field, "0" + other + digits, v),
                 (field, "-0" + other + digits + "0", -v), (field, "00" + other + digits + "0", v),
                 (field, "0\u202f" + digits + "0", v), (field, "0\u00a0" + digits + "0", v),
                 (field, "0 " + digits + "0", v), (field, "0'" + digits + "0", v),
                 # what a pasted or mistyped text may hold
                 (field, plain + "\n", v), (field, "\x1b[2J" + plain, v), (field, plain + "\r", v),
                 (field, "0" + dp + "9\u200b" + digits[1:], v), (field, "\ufeff" + plain, v),
                 (field, plain + "%", None), (field, "０" + dp + digits, v),
                 (field, "٠٫" + "٩٥", 0.95 if field == "xD" else None), (field, plain + " kmol", None),
                 (field, "\u202e" + plain, v), (field, "0" + dp + dp + digits, None)]
    for field, v in (("F", 1000.0), ("F", 1234567.0), ("R", 2.0), ("alpha", 2.5)):
        whole = "%d" % v if v == int(v) else None
        if whole and group:
            grouped = "{:,}".format(int(v)).replace(",", group)
            rows += [(field, grouped, v), (field, " " + grouped + dp + "0 ", v),
                     (field, grouped.replace(group, group + group), v), (field, "0" + group + grouped, v)]
        if whole:
            english = "{:,}".format(int(v))
            if dp == "," and "," in english:
                # "1,000" is one, with three decimals, where "," is the decimal point
                english_meant = float(english.replace(",", ".")) if english.count(",") == 1 else None
            else:
                english_meant = v
            rows += [(field, whole, v), (field, whole + dp, v), (field, whole + "e0", v),
                     (field, english, english_meant), (field, "{:_}".format(int(v)), v)]
    rows += [(f, s, None) for f in ("R", "alpha") for s in
             ("", " ", "\u3000", "\t\t", "nan", "inf", "-Infinity", "0x10", "1e", "--1", "\x00", "\x7f", "\x1b")]
    return rows


def meant_output(values):
    try:
        return (0,) + ref.column(*values)
    except ref.RunError as e:
        return (1, e.number)


def main():
    cli = sys.argv[1]
    # A sanitizer build's settings (suppressions of glibc's locale cache) go
    # with the program.
    sanitizer_settings = {k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")}
    if sanitizer_settings:
        # No leak check here: glibc keeps every locale loaded through LOCPATH,
        # and symbolizing that known leak to suppress it costs 0.1 s a run.
        # The same paths run with the leak check in the reference test.
        sanitizer_settings["ASAN_OPTIONS"] = sanitizer_settings.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    counts = {"accepted as meant": 0, "refused": 0, "wrong number": 0, "unsafe message": 0}
    with tempfile.TemporaryDirectory() as locpath:
        for name in LOCALES[1:]:
            subprocess.run(["localedef", "-i", name, "-f", "UTF-8", os.path.join(locpath, name + ".UTF-8")],
                           capture_output=True)
        for name in LOCALES:
            dp, group = separators(locpath, name)
            base = [("%r" % v).replace(".", dp) for v in EXAMPLE]
            for field, text, meant in texts(dp, group):
                i = FIELDS.index(field)
                args = list(base)
                args[i] = text
                if "\x00" in text:
                    continue  # no argument can hold a NUL
                env = {"LOCPATH": locpath, "LC_ALL": name + ".UTF-8", "PATH": "/usr/bin:/bin"}
                env.update(sanitizer_settings)
                run = subprocess.run([cli] + args, env=env, capture_output=True)
                where = "%s %s=%r" % (name, field, text)
                if run.returncode == 0:
                    values = list(EXAMPLE)
                    if meant is None:
                        counts["wrong number"] += 1
                        print("WRONG %s: not a number, yet accepted" % where)
                        continue
                    values[i] = meant
                    want = meant_output(values)
                    got = run.stdout.decode()
                    lines = got.split("\n")
                    ok = want[0] == 0 and lines[0] == "进料板\t%d" % want[1] and lines[1] == "塔板数\t%d" % want[2]
                    if ok:
                        for row, wanted in ((lines[3], want[3]), (lines[4], want[4])):
                            cells = row.split("\t")[1:]
                            ok = ok and len(cells) == want[2] and all(
                                float(c).hex() == wanted[k + 1].hex() for k, c in enumerate(cells))
                    if ok:
                        counts["accepted as meant"] += 1
                    else:
                        counts["wrong number"] += 1
                        print("WRONG %s: %r" % (where, got[:120]))
                else:
                    counts["refused"] += 1
                    err = run.stderr.decode("utf-8", "replace")
                    first = err.split("\n")[0]
                    unsafe = (run.stdout or err.count("\n") != 1 or not first.startswith("error ")
                              or any(ord(c) < 32 or 0x7f <= ord(c) <= 0x9f or 0x202a <= ord(c) <= 0x202e
                                     for c in first))
                    if unsafe:
                        counts["unsafe message"] += 1
                        print("UNSAFE %s: %r" % (where, err[:160]))
    print("%d locales: %s" % (len(LOCALES), ", ".join("%s %d" % kv for kv in counts.items())))
    return 1 if counts["wrong number"] or counts["unsafe message"] else 0


if __name__ == "__main__":
    sys.exit(main())
