#!/usr/bin/python3
"""Rich-text to HTML converter process for LorvaArchive.

Starts one headless LibreOffice with a private user profile, connects to it through UNO and
then serves commands read line by line from stdin, answering each with one line on stdout:

    convert <source URL> <target URL>  -> "ok" | "error <text>"
        loads the document, saves it as an HTML page at the target (pictures beside it) and
        closes it again
    quit                               -> "ok", then the process ends

One document is one command and one answer. URLs are percent-encoded file URLs, so a command
line never holds a blank inside an argument. Before the first command the process prints
"ready" once LibreOffice answers, or "error <text>" and exits with status 2 when it cannot be
started. On "quit", end of input or a signal LibreOffice is ended and the profile removed.

A rich-text file is read straight into a text document by the rich-text import, without a
window, a view or a page layout, none of which the HTML page needs; any other file is opened
the general way, its type detected, in a hidden window.

Usage: lorva_convert.py <soffice program> [profile directory [start-up timeout in seconds]]
Without a profile directory a temporary one is made and removed at the end.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

soffice_process = None
profile_dir = None  # removed at the end only when made here


def answer(text):
    sys.stdout.write(text.replace("\n", " ").replace("\r", " ") + "\n")
    sys.stdout.flush()


def descendants(pid):
    """The process ids below `pid` (children, grandchildren, ...), read from /proc."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            parents.setdefault(int(fields[1]), []).append(int(entry))
        except (OSError, IndexError, ValueError):
            continue
    found, todo = [], [pid]
    while todo:
        for child in parents.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def signal_all(pids, signum):
    for pid in pids:
        try:
            os.kill(pid, signum)
        except OSError:
            pass


def cleanup(grace=5):
    """Ends LibreOffice (the launcher and every process below it) and removes the profile."""
    global soffice_process, profile_dir
    if soffice_process is not None:
        try:
            soffice_process.wait(timeout=grace)  # after a terminate request it ends by itself
        except subprocess.TimeoutExpired:
            pass
        pids = descendants(soffice_process.pid)
        if soffice_process.poll() is None:
            pids.append(soffice_process.pid)
        signal_all(pids, signal.SIGTERM)
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline and any(os.path.exists("/proc/%d" % p) for p in pids):
            soffice_process.poll()
            time.sleep(0.05)
        signal_all(pids, signal.SIGKILL)
        soffice_process.poll()
        soffice_process = None
    if profile_dir is not None:
        shutil.rmtree(profile_dir, ignore_errors=True)
        profile_dir = None


def on_signal(signum, _frame):
    if soffice_process is not None:  # LibreOffice may hang: ask once, then end it
        signal_all(descendants(soffice_process.pid) + [soffice_process.pid], signal.SIGTERM)
    cleanup(grace=1)
    os._exit(128 + signum)


def start_office(program, profile, timeout):
    """Starts LibreOffice and returns its component context."""
    global soffice_process, profile_dir
    import uno  # noqa: F401  (python3-uno; missing -> ImportError)
    from com.sun.star.connection import NoConnectException

    if not profile:
        profile = profile_dir = tempfile.mkdtemp(prefix="lorva-office-")
    pipe_name = "lorva_%d_%d" % (os.getpid(), int(time.time() * 1000))
    connection = "pipe,name=%s;urp;" % pipe_name
    soffice_process = subprocess.Popen(
        [program, "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
         "--nolockcheck", "--nofirststartwizard",
         "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.abspath(profile)),
         "--accept=" + connection],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + timeout
    while True:
        try:
            return resolver.resolve("uno:%sStarOffice.ComponentContext" % connection)
        except NoConnectException:
            pass
        code = soffice_process.poll()
        if code is not None:
            raise RuntimeError("LibreOffice ended with status %d" % code)
        if time.monotonic() > deadline:
            raise RuntimeError("LibreOffice did not answer within %g s" % timeout)
        time.sleep(0.02)


def prop(name, value):
    import uno
    p = uno.createUnoStruct("com.sun.star.beans.PropertyValue")
    p.Name = name
    p.Value = value
    return p


RTF_SIGNATURE = b"{\\rtf"


def is_rich_text(url):
    """True when the file at `url` starts like a rich-text file."""
    import uno
    with open(uno.fileUrlToSystemPath(url), "rb") as source:
        return source.read(len(RTF_SIGNATURE)) == RTF_SIGNATURE


class Converter:
    """Turns documents into HTML pages through one LibreOffice."""

    def __init__(self, context):
        self.context = context
        self.services = context.ServiceManager
        self.desktop = self.services.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)
        # Never run macros, never update links: the documents are only read.
        self.safety = (prop("ReadOnly", True), prop("MacroExecutionMode", 0),
                       prop("UpdateDocMode", 0))
        self.html = (prop("FilterName", "HTML (StarWriter)"), prop("Overwrite", True))

    def load(self, url):
        if is_rich_text(url):
            # A frame, its view and the page layout cost more than the import itself.
            document = self.services.createInstanceWithContext(
                "com.sun.star.text.TextDocument", self.context)
            try:
                document.load((prop("URL", url), prop("FilterName", "Rich Text Format")) +
                              self.safety)
            except Exception:
                try:
                    document.close(True)
                except Exception:
                    pass
                raise RuntimeError("the document could not be opened")
            return document
        document = self.desktop.loadComponentFromURL(
            url, "_blank", 0, (prop("Hidden", True),) + self.safety)
        if document is None:
            raise RuntimeError("the document could not be opened")
        return document

    def convert(self, source, target):
        document = self.load(source)
        try:
            document.storeToURL(target, self.html)
        finally:
            document.close(True)

    def end(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass  # the bridge goes down with the office


def error_text(error):
    return getattr(error, "Message", "") or str(error) or type(error).__name__


def serve(context):
    converter = Converter(context)
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        command, args = words[0], words[1:]
        if command == "quit":
            break
        try:
            if command == "convert" and len(args) == 2:
                converter.convert(args[0], args[1])
                answer("ok")
            else:
                answer("error unknown command")
        except Exception as error:  # every failure is answered, the process goes on
            answer("error " + error_text(error))
    converter.end()


def main():
    if len(sys.argv) < 2:
        answer("error no LibreOffice program given")
        return 2
    profile = sys.argv[2] if len(sys.argv) > 2 else ""
    timeout = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    for signum in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(signum, on_signal)
    try:
        try:
            context = start_office(sys.argv[1], profile, timeout)
        except Exception as error:
            answer("error " + error_text(error))
            return 2
        answer("ready")
        serve(context)
        cleanup()
        answer("ok")
        return 0
    finally:
        cleanup()


if __name__ == "__main__":
    sys.exit(main())
