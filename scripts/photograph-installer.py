"""Photographs the first page of the Windows installer as an operator sees
it: the installer started without /S under Wine on a virtual display with a
window manager, in a Wine prefix of its own that shows windows, then closed
without installing anything.
  photograph-installer.py INSTALLER.exe TEMPLATE_PREFIX PICTURE.png
TEMPLATE_PREFIX is copied (a made prefix starts in seconds, wineboot takes a
minute); its windows are set to show on the display."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from operator_desktop import VirtualDisplay, stop_process, wait_until  # noqa: E402

PAGE_TIMEOUT_S = 60.0
WINE_TIMEOUT_S = 60.0
SETTLE_S = 1.0  # the page paints its picture and texts a moment after it maps
CAPTION = "^Установка "  # the installer's window: "Установка Зирон-7 1.0"


def main(installer, template, picture):
    with tempfile.TemporaryDirectory() as scratch:
        prefix = Path(scratch) / "prefix"
        shutil.copytree(template, prefix, symlinks=True)
        env = {**os.environ, "WINEPREFIX": str(prefix), "WINEDEBUG": "-all",
               "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe="}
        subprocess.run(["wine", "reg", "delete", r"HKCU\Software\Wine\Drivers", "/v", "Graphics",
                        "/f"], env=env, check=False, timeout=WINE_TIMEOUT_S,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=WINE_TIMEOUT_S)
        display = VirtualDisplay(window_manager=True)
        setup = None
        try:
            setup = subprocess.Popen(["wine", str(installer)], env={**env, "DISPLAY": display.name},
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            window = wait_until(lambda: display.windows(CAPTION), PAGE_TIMEOUT_S,
                                "the installer's first page")[0]
            time.sleep(SETTLE_S)
            display.screenshot(picture, window)
        finally:
            if setup is not None:
                stop_process(setup)
            subprocess.run(["wineserver", "-k"], env=env, check=False, timeout=WINE_TIMEOUT_S)
            display.close()
    print(picture)


if __name__ == "__main__":
    main(*sys.argv[1:])
