#!/usr/bin/python3
# Reads the running program's accessibility tree over AT-SPI, as a screen reader does: the page
# "Mesures", the page "Explications" and the open-picture dialog. Every text a user can read
# there must be found in the tree, as a name, a description or the text of a control.
#   usage: atspi_dump.py [--dump] [--picture NAME]   (run by check_atspi.sh, which starts the
#   program in a folder holding the 97 x 61 picture NAME, so that the dialog lists it)
import subprocess
import sys
import time

import pyatspi

EXPECTED = {
    "Mesures": [
        "Mesures", "Explications", "Ouvrir une image", "Traçage des lignes", "Rayon lunaire:",
        "Décalage des tracés:", "<", "^", ">", "v", "Position terminateur:",
        "Hauteur du Soleil (°):", "Effacer tracés", "Effacer image", "Augmenter", "Diminuer",
        "Photographie", "Aucune image", "Cornes et pourtour lunaire", "Terminateur",
        "Courbe d'égale hauteur du Soleil", "Aucun tracé", "Logo",
        "Ouvre la page d'accueil de l'auteur dans le navigateur",
    ],
    "Explications": [
        "Objectif du programme:", "Compléments: Chez Tavelin", "Aide au calcul",
        "Longueur de l'ombre:", "Hauteur du Soleil (°):", "Calcul", "Hauteur calculée:",
        "Ordre logique des opérations:",
    ],
    "dialog": ["Picture:", "(None)", "Preview"],
}


def wait_for(find, what, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = find()
        if found is not None:
            return found
        time.sleep(0.3)
    sys.exit("FAIL: %s not found over AT-SPI" % what)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "Korvalen":
            return app
    return None


def texts(node, out, depth=0, dump=None, showing_only=True):
    """Collects the readable texts of `node` and of its children that are showing."""
    try:
        states = node.getState()
    except Exception:
        return
    if showing_only and depth > 0 and not states.contains(pyatspi.STATE_SHOWING):
        return
    found = [node.name or "", node.description or ""]
    try:
        text = node.queryText()
        found.append(text.getText(0, -1))
    except NotImplementedError:
        pass
    for t in found:
        for line in t.split("\n"):
            if line.strip():
                out.add(line.strip())
    if dump is not None:
        dump.append("%s%s %r %r" % ("  " * depth, node.getRoleName(), node.name, node.description))
    for child in node:
        if child is not None:
            texts(child, out, depth + 1, dump, showing_only)


def find(node, role, name):
    if node is None:
        return None
    if node.getRole() == role and node.name == name:
        return node
    for child in node:
        hit = find(child, role, name)
        if hit is not None:
            return hit
    return None


def act(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "Click", "SetFocus", "switch"):
            action.doAction(i)
            return
    action.doAction(0)


def check(label, root, dump):
    lines = [] if dump else None
    seen = set()
    texts(root, seen, dump=lines)
    if lines:
        print("---- %s" % label)
        print("\n".join(lines))
    missing = [t for t in EXPECTED[label] if t not in seen]
    if missing:
        print("FAIL: %s: not readable over AT-SPI: %s" % (label, missing))
        return False
    print("PASS: %s: %d texts expected, all found" % (label, len(EXPECTED[label])))
    return True


def main():
    dump = "--dump" in sys.argv
    picture = sys.argv[sys.argv.index("--picture") + 1] if "--picture" in sys.argv else None
    app = wait_for(application, "the application Korvalen")
    window = wait_for(lambda: next((top for top in app if top is not None
                                    and top.name == "Selmarin"), None), "the window Selmarin")
    ok = check("Mesures", window, dump)
    act(wait_for(lambda: find(window, pyatspi.ROLE_PAGE_TAB, "Explications"), "tab Explications"))
    time.sleep(1)
    ok = check("Explications", window, dump) and ok
    act(wait_for(lambda: find(window, pyatspi.ROLE_PAGE_TAB, "Mesures"), "tab Mesures"))
    time.sleep(1)
    act(wait_for(lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, "Ouvrir une image"), "Button2"))

    def dialog():
        for top in app:
            if top is not None and top.name != "Selmarin" and top.getState().contains(
                    pyatspi.STATE_SHOWING):
                return top
        return None
    openpic = wait_for(dialog, "the open-picture dialog")
    ok = check("dialog", openpic, dump) and ok
    if picture:
        # A picture clicked in the file list is shown in the preview box, which is then read
        # by its file name and size instead of "(None)".
        cell = wait_for(lambda: find(openpic, pyatspi.ROLE_TABLE_CELL, picture)
                        or find(openpic, pyatspi.ROLE_LIST_ITEM, picture), "the file " + picture)
        x, y, w, h = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                       check=True)
        box = wait_for(lambda: find(openpic, pyatspi.ROLE_FRAME, picture + " (97x61)"),
                       "the preview box read as %s (97x61)" % picture)
        print("PASS: dialog: the preview box reads %r" % box.name)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
