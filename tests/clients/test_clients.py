#!/usr/bin/env python3
"""Real script clients of Tellavo.Gateway under Wine.

The JScript and VBScript examples, and the small scripts of this folder, run
in the cscript of the module's bitness (on 64-bit Windows the syswow64 one
for the 32-bit module, the system32 one for the 64-bit module; the host's
own report of its architecture is checked first) against the bundled gateway
simulator (reached through Wine's
WinINet with the simulator as the http_proxy). The tests check what the
scripts print, what the simulator recorded, and the event-log entries, which
Wine traces on the client's standard error.

examples/send.ps1 is not run: PowerShell does not run under Wine.

The module must be registered (ctest's registered_module fixture does it);
--register registers it first for a standalone run.

    test_clients.py --module build/win32/server/Tellavo.dll [--wine CMD] [--register]
"""

import argparse
import base64
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request
from xml.etree.ElementTree import canonicalize

from winetools import (HOST_ARCHITECTURE, Wine, event_texts, host_architecture, pe_bits,
                       system_program, windows_path)

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXAMPLES = os.path.join(SOURCE, "examples")
SIMULATOR = os.path.join(SOURCE, "tools", "simulator", "gateway_simulator.py")
SERVICE_NAMESPACE = "http://ws.tellavo.example/"
STATUS_LINE = r"status: {};DELIVERED;\d{{4}}-\d\d-\d\d \d\d:\d\d:\d\d"

# The envelope of a SendSMS request as the posix build writes it, the request
# document left as a placeholder.
POSIX_ENVELOPE = (
    '<?xml version="1.0"?>\r\n<SOAP-ENV:Envelope'
    ' xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"'
    ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"'
    ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><SOAP-ENV:Body>'
    '<{operation} xmlns="http://ws.tellavo.example/"><xml>{document}</xml></{operation}>'
    '</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n')

OPTIONS = argparse.Namespace(module=None, wine="wine", register=False)


class Simulator:
    """The gateway simulator as a child process, on a free port."""

    def __init__(self, workdir):
        ready = os.path.join(workdir, "ready.json")
        self.log = open(os.path.join(workdir, "simulator.log"), "wb")
        self.process = subprocess.Popen(
            [sys.executable, SIMULATOR, "--port", "0", "--ready-file", ready,
             "--state-dir", os.path.join(workdir, "state")],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the gateway simulator did not start")
            time.sleep(0.05)
        with open(ready) as f:
            self.port = json.load(f)["port"]
        self.proxy = "http://127.0.0.1:%d" % self.port

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()

    def control(self, method, call, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request("%s/_sim/%s" % (self.proxy, call), data=data,
                                         method=method)
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        with opener.open(request, timeout=10) as answer:
            return json.load(answer)

    def requests(self):
        return self.control("GET", "requests")["requests"]

    def messages(self):
        return self.control("GET", "messages")["messages"]


def body_of(request):
    return base64.b64decode(request["body_base64"]).decode("utf-8")


def header(request, name):
    return next((value for key, value in request["headers"] if key.lower() == name.lower()), None)


class ScriptClientsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = Wine(OPTIONS.wine)
        bits = pe_bits(OPTIONS.module)
        cls.host = system_program("cscript", bits)
        architecture = host_architecture(cls.wine, cls.host)
        assert architecture == HOST_ARCHITECTURE[bits], (
            "the script host for the %d-bit module reports %r" % (bits, architecture))
        if OPTIONS.register:
            registered = cls.wine.run(system_program("regsvr32", bits), "/s",
                                      windows_path(OPTIONS.module))
            assert registered.returncode == 0, registered
        workdir = tempfile.TemporaryDirectory(prefix="tellavo-clients-")
        cls.addClassCleanup(workdir.cleanup)
        cls.simulator = Simulator(workdir.name)
        cls.addClassCleanup(cls.simulator.stop)

    def setUp(self):
        self.simulator.control("POST", "reset")

    def cscript(self, script, *args):
        return self.wine.run(self.host, "//nologo", windows_path(script), *args,
                             env={"http_proxy": self.simulator.proxy})

    def assertLinesMatch(self, lines, patterns):
        self.assertEqual(len(lines), len(patterns), lines)
        for line, pattern in zip(lines, patterns):
            self.assertRegex(line, "^%s$" % pattern)

    def assertSameEnvelope(self, request, operation):
        """The request envelope is the posix build's document. Wine's msxml3
        writes it indented (CR LF and tabs between tags) and repeats the
        namespace declarations in scope on elements made in a namespace, so
        the bytes differ there; canonical forms, which drop layout and
        repeated declarations, must agree."""
        body = body_of(request)
        self.assertTrue(body.startswith('<?xml version="1.0"?>\r\n<SOAP-ENV:Envelope '), body)
        document = body[body.index("<xml") :].split(">", 1)[1].split("</xml>", 1)[0]
        expected = POSIX_ENVELOPE.format(operation=operation, document=document)
        self.assertEqual(canonicalize(body, strip_text=True),
                         canonicalize(expected, strip_text=True))
        self.assertEqual(header(request, "SOAPAction"), '"%s%s"' % (SERVICE_NAMESPACE, operation))
        self.assertEqual(header(request, "Content-Type"), 'text/xml; charset="utf-8"')

    def test_jscript_example_sends_and_queries(self):
        result = self.cscript(os.path.join(EXAMPLES, "send.js"), "tellavo", "s3cret", "42",
                              "TELLAVO", "5550000001", "5550000002")
        self.assertEqual(result.returncode, 0, result)
        self.assertLinesMatch(result.lines(), [
            "originators: TELLAVO, INFO", "message id: 1000001",
            STATUS_LINE.format(5550000001), STATUS_LINE.format(5550000002)])
        self.assertEqual(event_texts(result.stderr), [])

        requests = self.simulator.requests()
        # getinfo, then sendsms: GetOriginators to choose the service, SendSMS;
        # then getmsgstatus.
        self.assertEqual([r["path"] for r in requests], [
            "/GetOriginators/GetOriginators.asmx", "/GetOriginators/GetOriginators.asmx",
            "/SendSMS/SendSMS.asmx", "/GetStatus/GetStatus.asmx"])
        self.assertEqual([r["connect_target"] for r in requests],
                         ["gateway.tellavo.example:443"] * 3 + ["report.tellavo.example:443"])
        self.assertTrue(all(r["method"] == "POST" and r["tls"] for r in requests))
        self.assertSameEnvelope(requests[0], "getOriginators")
        self.assertSameEnvelope(requests[2], "sendSMS")
        self.assertSameEnvelope(requests[3], "getStatus")

        [message] = self.simulator.messages()
        self.assertEqual((message["user"], message["operation"], message["sender"]),
                         ("tellavo", "SENDSMS", "TELLAVO"))
        self.assertEqual(message["recipients"], [
            {"number": "5550000001", "text": "Hello from Tellavo (JScript)"},
            {"number": "5550000002", "text": "Hello from Tellavo (JScript)"}])

    def test_vbscript_example_sends_through_the_prepaid_service(self):
        result = self.cscript(os.path.join(EXAMPLES, "send.vbs"), "prepaid", "s3cret", "42",
                              "PREPAID", "5550000003")
        self.assertEqual(result.returncode, 0, result)
        self.assertLinesMatch(result.lines(), [
            "originators: PREPAID, 1000", "message id: 1000001", STATUS_LINE.format(5550000003)])

        requests = self.simulator.requests()
        self.assertEqual(requests[2]["path"], "/SendSMSPrepaid/SendSMS.asmx")
        self.assertSameEnvelope(requests[2], "sendSMS")
        [message] = self.simulator.messages()
        self.assertEqual(message["recipients"],
                         [{"number": "5550000003", "text": "Hello from Tellavo (VBScript)"}])
        [account] = [a for a in self.simulator.control("GET", "accounts")["accounts"]
                     if a["user"] == "prepaid"]
        self.assertEqual(account["credit"], 999)

    def test_examples_fail_with_a_status(self):
        # A sender that is not the account's: the gateway refuses, nothing is sent.
        for script in ("send.js", "send.vbs"):
            with self.subTest(script=script):
                result = self.cscript(os.path.join(EXAMPLES, script), "tellavo", "s3cret", "42",
                                      "NOPE", "5550000001")
                self.assertEqual(result.returncode, 1, result)
                self.assertEqual(result.lines()[-1], "sendsms failed: ")
                self.assertEqual(self.simulator.messages(), [])
                usage = self.cscript(os.path.join(EXAMPLES, script), "tellavo")
                self.assertEqual(usage.returncode, 2, usage)

    def test_script_hosts_report_wrong_calls(self):
        # A wrong argument count is DISP_E_BADPARAMCOUNT, which JScript shows
        # as 0x8002000E and VBScript as 450. The object checks surplus
        # arguments itself: Wine's ITypeInfo::Invoke would let them through.
        js = self.cscript(os.path.join(HERE, "dispatch_errors.js"))
        self.assertEqual(js.returncode, 0, js)
        unknown, fewer, more = js.lines()
        self.assertEqual(unknown, "unknown 0x800A01B6")
        self.assertEqual(fewer, "fewer 0x8002000E")
        self.assertEqual(more, "more 0x8002000E")

        vbs = self.cscript(os.path.join(HERE, "dispatch_errors.vbs"))
        self.assertEqual(vbs.returncode, 0, vbs)
        unknown, fewer, more = vbs.lines()
        self.assertEqual(unknown, "unknown 438")
        self.assertEqual(fewer, "fewer 450")
        self.assertEqual(more, "more 450")
        self.assertEqual(self.simulator.requests(), [])

    def test_failures_answer_codes_and_write_events(self):
        fault = 'Gateway d\u00e9faillant "x" \\ ' + "\t"
        self.simulator.control("POST", "script", {"fault": {"code": "soap:Server",
                                                            "string": fault}})
        result = self.cscript(os.path.join(HERE, "failures.js"))
        self.assertEqual(result.returncode, 0, result)
        self.assertEqual(result.lines(), ["empty sendsms -2", "empty sendsmsconcat -2",
                                          "fault getinfo -1"])
        # The empty baskets send nothing and write no entry; the fault writes one.
        self.assertEqual(event_texts(result.stderr), ["ERemotableException " + fault])
        self.assertEqual([r["path"] for r in self.simulator.requests()],
                         ["/GetOriginators/GetOriginators.asmx"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", required=True, help="the built Tellavo.dll")
    parser.add_argument("--wine", default="wine", help="command that runs a Windows program")
    parser.add_argument("--register", action="store_true", help="register the module first")
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
