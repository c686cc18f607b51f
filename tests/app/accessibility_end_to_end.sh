#!/usr/bin/env bash
# The accessibility tree read over a private desktop accessibility bus, as a
# screen reader reads it, on a sample medium; the reader opens the browser.
set -u
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
"$2" "$work/medium" --studies 1 --series 2 --images 3 --size 64 --threads 1 >/dev/null && cd "$work/medium" || exit 1
export TMPDIR="$work" GTK_MODULES=gail:atk-bridge NO_AT_BRIDGE=0 PROGRAM=$1
exec dbus-run-session -- bash -c '"$PROGRAM" "$PWD" >/dev/null 2>&1 & /usr/bin/python3 - <<"PY"; code=$?; kill $!; exit $code
import pyatspi, subprocess, sys, time
def find(test, what, root=None, deadline=time.time() + 30):
    while time.time() < deadline:
        try:
            found = pyatspi.findDescendant(root or app, lambda a: a is not None and test(a))
            if found: return found
        except Exception: pass
        time.sleep(0.1)
    sys.exit("not found over the bus: " + what)
app = find(lambda a: "velmora" in a.name, "program", pyatspi.Registry.getDesktop(0))
tile = [find(lambda a: a.name == n, n) for n in ("Opis badania", "Obrazy diagnostyczne", "Obrazy referencyjne")][-1]
x, y, w, h = tile.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"])
for n in ("Rozpocznij odtwarzanie serii", "Przejdź do poprzedniej serii", "Wyświetl poprzedni obraz w ramach serii",
          "Przejdź do kolejnej serii", "Powiększ obraz", "Zmniejsz obraz"): find(lambda a: a.name == n, n)
find(lambda a: a.name.startswith("Obraz 3 z 3, "), "thumbnail")
find(lambda a: a.name == "Wyświetl kolejny obraz w ramach serii", "next").queryAction().doAction(0)
find(lambda a: a.getRoleName() == "icon" and a.name.startswith("PACJENT:"), "picture")
PY'
