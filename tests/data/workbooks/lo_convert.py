#!/usr/bin/python3
"""Re-saves a workbook through LibreOffice (headless, over UNO) as xlsx, xls and
ods, plus password-protected copies. argv: work folder, source workbook."""
import os
import signal
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue


def props(**kw):
    out = []
    for k, v in kw.items():
        p = PropertyValue()
        p.Name, p.Value = k, v
        out.append(p)
    return tuple(out)


def main():
    work, source = sys.argv[1], os.path.abspath(sys.argv[2])
    outdir = os.path.join(work, "out")
    os.makedirs(outdir, exist_ok=True)
    pipe = "tarvel_corpus_%d" % os.getpid()
    office = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore",
                               "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                               "--accept=pipe,name=%s;urp;" % pipe], start_new_session=True)
    desktop = None
    try:
        resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
        for _ in range(100):
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                time.sleep(0.2)
        else:
            raise SystemExit("LibreOffice did not answer")
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0, props(Hidden=True))
        # Without a recalculation the xls filter stores 0 for a text formula
        # result taken over from the xlsx.
        doc.calculateAll()
        targets = [("table.xlsx", "Calc MS Excel 2007 XML", None), ("table.xls", "MS Excel 97", None),
                   ("table.ods", "calc8", None), ("password.xls", "MS Excel 97", "geheim"),
                   ("password.ods", "calc8", "geheim")]
        for name, filt, password in targets:
            kw = {"FilterName": filt, "Overwrite": True}
            if password:
                kw["Password"] = password
            doc.storeToURL(uno.systemPathToFileUrl(os.path.join(outdir, name)), props(**kw))
        doc.close(True)
    finally:
        try:
            if desktop is not None:
                desktop.terminate()
        except Exception:
            pass  # the bridge drops as the office ends
        try:
            office.wait(timeout=20)
        except subprocess.TimeoutExpired:
            os.killpg(office.pid, signal.SIGKILL)  # the office runs in a child of the wrapper


if __name__ == "__main__":
    main()
