#!/usr/bin/env python3
"""Tellavo gateway simulator: an HTTPS SOAP 1.1 server for the five gateway
services, with an HTTP CONNECT proxy, request recording and scripted answers.

One port serves everything. Each connection is classified by its first byte:
a TLS handshake (0x16) gets the direct HTTPS endpoint, anything else is plain
HTTP, where CONNECT turns the connection into a proxy tunnel that the
simulator terminates itself with its own certificate. Control calls live
under /_sim/ and speak JSON.
"""

import argparse
import base64
import datetime
import http
import json
import os
import shutil
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import xml.etree.ElementTree as ElementTree
from urllib.parse import urlsplit

DEFAULT_NAMESPACE = "http://ws.tellavo.example/"
SOAP11_NS = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12_NS = "http://www.w3.org/2003/05/soap-envelope"
XSI_NS = "http://www.w3.org/2001/XMLSchema-instance"
XSD_NS = "http://www.w3.org/2001/XMLSchema"
CONTROL_PREFIX = "/_sim/"
# What GET /_sim/connections reports: connections that carried a service
# request or a CONNECT, TLS handshakes (direct or in a tunnel), and those of
# them that resumed an earlier session.
COUNTERS = ("connections", "handshakes", "resumed")
SOAP_CONTENT_TYPE = "text/xml; charset=utf-8"
SERVER_NAME = "TellavoGatewaySimulator"
CERT_HOSTS = ["gateway.tellavo.example", "report.tellavo.example", "localhost"]
IDLE_TIMEOUT_SECONDS = 600
STREAM_CHUNK_BYTES = 65536
STREAM_MARK = "@@STREAM@@"  # where a streamed result goes in its envelope
FIRST_MESSAGE_ID = 1000001

# Endpoint path -> operations it serves (with the request document each takes).
SERVICES = {
    "/GetOriginators/GetOriginators.asmx": {"getOriginators": "GETORIGINATORS"},
    "/GetReport2Date/GetReport2Date.asmx": {"getReport2Date": "REPORT2DATE"},
    "/GetStatus/GetStatus.asmx": {"getStatus": "GETSTATUS"},
    "/SendSMSPrepaid/SendSMS.asmx": {"sendSMS": "SENDSMS", "sendConcat": "SENDCONCAT"},
    "/SendSMS/SendSMS.asmx": {"sendSMS": "SENDSMS", "sendConcat": "SENDCONCAT"},
}
PREPAID_PATH = "/SendSMSPrepaid/SendSMS.asmx"
TEXT_LIMITS = {"SENDSMS": 160, "SENDCONCAT": 612}

DEFAULT_ACCOUNTS = [
    {"user": "tellavo", "password": "s3cret", "vendor": "42",
     "originators": ["TELLAVO", "INFO"], "prepaid": False, "credit": 0},
    {"user": "prepaid", "password": "s3cret", "vendor": "42",
     "originators": ["PREPAID"], "prepaid": True, "credit": 1000},
]

# Gateway error answers: (code, description). Descriptions avoid the upper-case
# word that clients look for to detect a prepaid account.
ERR_AUTH = (101, "Invalid user name, password or vendor identifier")
ERR_ORIGINATOR = (102, "Unknown originator")
ERR_NO_NUMBERS = (103, "No destination numbers")
ERR_MISMATCH = (104, "Numbers and texts do not pair up")
ERR_NUMBER = (105, "Invalid destination number")
ERR_TEXT_LENGTH = (106, "Message text too long")
ERR_NO_BALANCE = (107, "Insufficient credit")
ERR_WRONG_SERVICE_PREPAID = (108, "Prepaid accounts must send through the prepaid service")
ERR_WRONG_SERVICE_POSTPAID = (109, "Postpaid accounts cannot send through the prepaid service")
ERR_UNKNOWN_MESSAGE = (201, "Unknown message identifier")
ERR_BAD_DATE = (202, "Invalid date")

DATE_FORMATS = [
    "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%dT%H:%M",
    "%d.%m.%Y %H:%M:%S", "%d.%m.%Y %H:%M", "%d/%m/%Y %H:%M:%S", "%d/%m/%Y %H:%M",
    "%Y%m%d%H%M%S", "%Y%m%d%H%M",
]
DAY_FORMATS = ["%Y-%m-%d", "%d.%m.%Y", "%d/%m/%Y", "%Y%m%d"]

verbose = False


def log(text):
    print(f"gateway_simulator: {text}", file=sys.stderr, flush=True)


def trace(text):
    if verbose:
        log(text)


class SoapFault(Exception):
    """A request the simulator refuses with a soap:Client fault."""


class ProtocolError(Exception):
    """A request that is not valid HTTP; the connection is dropped."""


def escape_text(text):
    # CR is written as a character reference: a literal CR would be turned
    # into LF by the client's XML parser, and gateway answers carry CR LF.
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace("\r", "&#xD;"))


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def namespace_of(tag):
    return tag[1:].split("}", 1)[0] if tag.startswith("{") else ""


# ---------------------------------------------------------------- answers


def document(root, children):
    """A gateway answer document: CR LF between elements, as gateways send."""
    lines = [f"<{root}>"]
    lines += [f"<{name}>{escape_text(str(value))}</{name}>" for name, value in children]
    lines.append(f"</{root}>")
    return "\r\n".join(lines)


def error_document(error):
    code, description = error
    return document("ERROR", [("CODE", code), ("DESCRIPTION", description)])


def envelope(body_xml, soap_ns=SOAP11_NS, header_xml=""):
    header = f"<soap:Header>{header_xml}</soap:Header>" if header_xml else ""
    return (f'<?xml version="1.0" encoding="utf-8"?>'
            f'<soap:Envelope xmlns:soap="{soap_ns}" xmlns:xsi="{XSI_NS}" xmlns:xsd="{XSD_NS}">'
            f"{header}{body_xml}</soap:Envelope>")


def response_body(operation, namespace, result):
    return (f"<soap:Body><{operation}Response xmlns=\"{namespace}\">"
            f"<{operation}Result>{escape_text(result)}</{operation}Result>"
            f"</{operation}Response></soap:Body>")


def fault_body(code, string, actor=None, detail_xml=None):
    parts = [f"<faultcode>{escape_text(code)}</faultcode>",
             f"<faultstring>{escape_text(string)}</faultstring>"]
    if actor is not None:
        parts.append(f"<faultactor>{escape_text(actor)}</faultactor>")
    if detail_xml is not None:
        parts.append(f"<detail>{detail_xml}</detail>")
    return f"<soap:Body><soap:Fault>{''.join(parts)}</soap:Fault></soap:Body>"


def parse_date(text, end_of_day):
    text = " ".join(text.split())
    for pattern in DATE_FORMATS:
        try:
            return datetime.datetime.strptime(text, pattern)
        except ValueError:
            pass
    for pattern in DAY_FORMATS:
        try:
            day = datetime.datetime.strptime(text, pattern)
            return day.replace(hour=23, minute=59, second=59) if end_of_day else day
        except ValueError:
            pass
    return None


def stamp(moment):
    return moment.strftime("%Y-%m-%d %H:%M:%S")


# ---------------------------------------------------------------- gateway


class Gateway:
    """Accounts, sent messages and the five operations. Callers hold the lock."""

    def __init__(self):
        self.reset()

    def reset(self):
        self.accounts = {}
        self.set_accounts(DEFAULT_ACCOUNTS)
        self.messages = {}
        self.next_message_id = FIRST_MESSAGE_ID

    def set_accounts(self, accounts):
        if not isinstance(accounts, list):
            raise ValueError("accounts must be a JSON list")
        table = {}
        for entry in accounts:
            if not isinstance(entry, dict) or not isinstance(entry.get("user"), str):
                raise ValueError("each account needs a string 'user'")
            table[entry["user"]] = {
                "user": entry["user"],
                "password": str(entry.get("password", "")),
                "vendor": str(entry.get("vendor", "")),
                "originators": [str(o) for o in entry.get("originators", [])],
                "prepaid": bool(entry.get("prepaid", False)),
                "credit": int(entry.get("credit", 0)),
            }
        self.accounts = table

    def account_list(self):
        return list(self.accounts.values())

    def message_list(self):
        return [dict(m, submitted=stamp(m["submitted"])) for m in self.messages.values()]

    def authenticate(self, fields):
        account = self.accounts.get(fields.get("USERNAME"))
        if (account is None or account["password"] != fields.get("PASSWORD")
                or account["vendor"] != fields.get("VENDOR_ID")):
            return None
        return account

    def answer(self, path, operation, request):
        fields = {child.tag: (child.text or "") for child in request}
        account = self.authenticate(fields)
        if account is None:
            return error_document(ERR_AUTH)
        if operation == "getOriginators":
            return self.originators(account)
        if operation == "getStatus":
            return self.status(account, fields.get("MSGID", ""))
        if operation == "getReport2Date":
            return self.report(account, fields.get("DATE1", ""), fields.get("DATE2", ""))
        return self.send(path, account, request, fields)

    def originators(self, account):
        children = [("ORIGINATOR", o) for o in account["originators"]]
        if account["prepaid"]:
            children.append(("CREDIT", account["credit"]))
        return document("ORIGINATORS", children)

    def send(self, path, account, request, fields):
        prepaid_service = path == PREPAID_PATH
        if account["prepaid"] and not prepaid_service:
            return error_document(ERR_WRONG_SERVICE_PREPAID)
        if prepaid_service and not account["prepaid"]:
            return error_document(ERR_WRONG_SERVICE_POSTPAID)
        if fields.get("SENDER") not in account["originators"]:
            return error_document(ERR_ORIGINATOR)
        numbers = [n.text or "" for n in request.iterfind("TM_LIST/TM/DST_MSISDN_LIST/DST_MSISDN")]
        texts = [t.text or "" for t in request.iterfind("TM_LIST/TM/CONTENT_LIST/CONTENT/CONTENT_TEXT")]
        if not numbers:
            return error_document(ERR_NO_NUMBERS)
        if len(numbers) != len(texts):
            return error_document(ERR_MISMATCH)
        if any(not n.lstrip("+").isdigit() or not n.isascii() for n in numbers):
            return error_document(ERR_NUMBER)
        if any(utf16_length(t) > TEXT_LIMITS[request.tag] for t in texts):
            return error_document(ERR_TEXT_LENGTH)
        if account["prepaid"]:
            if account["credit"] < len(numbers):
                return error_document(ERR_NO_BALANCE)
            account["credit"] -= len(numbers)
        message_id = self.next_message_id
        self.next_message_id += 1
        self.messages[message_id] = {
            "msgid": message_id, "user": account["user"], "operation": request.tag,
            "sender": fields["SENDER"], "sdate": fields.get("SDATE", ""),
            "vp": fields.get("VP", ""), "submitted": datetime.datetime.now().replace(microsecond=0),
            "recipients": [{"number": n, "text": t} for n, t in zip(numbers, texts)],
        }
        # Blanks around the identifier, as the real gateway writes it.
        return document(f"{request.tag}_RESPONSE", [("MSGID", f" {message_id} ")])

    def message_of(self, account, text):
        try:
            message = self.messages.get(int(text.strip()))
        except ValueError:
            return None
        return message if message and message["user"] == account["user"] else None

    def status(self, account, message_id):
        message = self.message_of(account, message_id)
        if message is None:
            return error_document(ERR_UNKNOWN_MESSAGE)
        delivered = stamp(message["submitted"])
        return "".join(f"{r['number']};DELIVERED;{delivered}\r\n" for r in message["recipients"])

    def report(self, account, date1, date2):
        start, end = parse_date(date1, False), parse_date(date2, True)
        if start is None or end is None:
            return error_document(ERR_BAD_DATE)
        lines = []
        for message in self.messages.values():
            if message["user"] == account["user"] and start <= message["submitted"] <= end:
                delivered = stamp(message["submitted"])
                lines += [f"{message['msgid']};{r['number']};DELIVERED;{delivered}\r\n"
                          for r in message["recipients"]]
        return "".join(lines)


# ---------------------------------------------------------------- scripting


class ScriptQueue:
    """Scripted answers, each consumed by the next service request it matches.
    Callers hold the lock."""

    def __init__(self):
        self.entries = []

    def add(self, entries):
        if isinstance(entries, dict):
            entries = [entries]
        if not isinstance(entries, list) or not all(isinstance(e, dict) for e in entries):
            raise ValueError("script must be a JSON object or a list of objects")
        for entry in entries:
            if entry.get("envelope") not in (None, "soap12", "must_understand", "two_bodies"):
                raise ValueError(f"unknown envelope variant {entry['envelope']!r}")
            if entry.get("close") not in (None, False, True, "silently", "unanswered"):
                raise ValueError(f"unknown close variant {entry['close']!r}")
            self.entries.append(dict(entry, remaining=int(entry.get("count", 1))))
        return len(entries)

    def take(self, path, operation):
        for entry in self.entries:
            if (entry.get("match_path") in (None, path)
                    and entry.get("match_operation") in (None, operation)):
                # A count of 0 or less keeps the entry for every matching request.
                if entry["remaining"] > 0:
                    entry["remaining"] -= 1
                    if entry["remaining"] == 0:
                        self.entries.remove(entry)
                return entry
        return None


# ---------------------------------------------------------------- HTTP


class Reader:
    """Buffered reading from a socket that can later be wrapped in TLS."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = bytearray()

    def fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError
        self.buffer += data

    def line(self, limit=65536):
        while b"\n" not in self.buffer:
            if len(self.buffer) > limit:
                raise ProtocolError("header line too long")
            self.fill()
        end = self.buffer.index(b"\n") + 1
        data = bytes(self.buffer[:end])
        del self.buffer[:end]
        return data.rstrip(b"\r\n").decode("latin-1")

    def exactly(self, count):
        while len(self.buffer) < count:
            self.fill()
        data = bytes(self.buffer[:count])
        del self.buffer[:count]
        return data


class Request:
    def __init__(self, method, target, version, headers):
        self.method, self.target, self.version, self.headers = method, target, version, headers
        self.body = b""
        self.content_length = None
        self.chunked = False
        parts = urlsplit(target)
        self.absolute = bool(parts.scheme)
        self.path = parts.path or "/"
        self.query = parts.query
        self.host = self.header("Host") or parts.netloc

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def wants_close(self):
        connection = (self.header("Connection") or "").lower()
        if self.version == "HTTP/1.0":
            return "keep-alive" not in connection
        return "close" in connection


class Response:
    def __init__(self, status, body=b"", content_type=SOAP_CONTENT_TYPE, reason=None):
        self.status = status
        self.reason = reason if reason is not None else status_phrase(status)
        self.body = body
        self.content_type = content_type
        self.close_after_bytes = None
        self.after_send = None
        self.extra_headers = []
        # A body generated while it is sent: (pieces, declared length or None, true length).
        self.stream = None
        self.drip_interval = None  # seconds between single bytes of the whole response
        self.silence = None  # "all" or "after_head": stop sending, hold the connection
        # True: announce "Connection: close" and close; "silently": close without a word,
        # as a server does whose keep-alive time has run out; "unanswered": close without
        # sending anything, as a server that crashed after reading the request.
        self.close = None


def status_phrase(status):
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Unknown"


def json_response(status, value):
    return Response(status, json.dumps(value).encode(), "application/json")


def read_request(reader):
    line = reader.line()
    while line == "":  # tolerate stray blank lines between requests
        line = reader.line()
    pieces = line.split(" ")
    if len(pieces) != 3 or not pieces[2].startswith("HTTP/"):
        raise ProtocolError(f"bad request line {line!r}")
    headers = []
    while True:
        header = reader.line()
        if header == "":
            break
        if header[0] in " \t" and headers:  # obsolete line folding
            headers[-1][1] += " " + header.strip()
            continue
        name, sep, value = header.partition(":")
        if not sep:
            raise ProtocolError(f"bad header line {header!r}")
        headers.append([name, value.strip()])
    return Request(pieces[0], pieces[1], pieces[2], headers)


def read_body(reader, sock, request):
    if (request.header("Expect") or "").lower() == "100-continue":
        sock.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
    if "chunked" in (request.header("Transfer-Encoding") or "").lower():
        request.chunked = True
        chunks = []
        while True:
            try:
                size = int(reader.line().split(";", 1)[0].strip(), 16)
            except ValueError:
                raise ProtocolError("bad chunk size")
            if size < 0:
                raise ProtocolError("bad chunk size")
            if size == 0:
                break
            chunks.append(reader.exactly(size))
            reader.line()
        while reader.line() != "":  # trailer fields
            pass
        request.body = b"".join(chunks)
    elif request.header("Content-Length") is not None:
        try:
            request.content_length = int(request.header("Content-Length"))
        except ValueError:
            raise ProtocolError("bad Content-Length")
        if request.content_length < 0:
            raise ProtocolError("bad Content-Length")
        request.body = reader.exactly(request.content_length)


def write_response(sock, response, close):
    head = [f"HTTP/1.1 {response.status} {response.reason}", f"Server: {SERVER_NAME}"]
    if response.content_type is not None:
        head.append(f"Content-Type: {response.content_type}")
    head.extend(f"{name}: {value}" for name, value in response.extra_headers)
    pieces = [response.body]
    if response.stream is not None:
        pieces, declared, length = response.stream
        if declared is not None:
            head.append(f"Content-Length: {declared}")
        # Without a true length the body ends where the connection does.
        close = close or declared != length
    elif response.close_after_bytes is not None:
        # Promise more than is sent, then drop the connection mid-body.
        body = response.body
        declared = max(len(body), response.close_after_bytes + 1)
        head.append(f"Content-Length: {declared}")
        pieces = [body.ljust(declared, b" ")[:response.close_after_bytes]]
        close = True
    else:
        head.append(f"Content-Length: {len(response.body)}")
    if response.close == "unanswered":
        return True
    close = close or response.close is True
    if close:
        head.append("Connection: close")
    if response.silence == "all":
        return hold_until_closed(sock)
    send = sock.sendall
    if response.drip_interval:
        send = lambda data: drip(sock, data, response.drip_interval)
    send(("\r\n".join(head) + "\r\n\r\n").encode("latin-1"))
    if response.silence == "after_head":
        return hold_until_closed(sock)
    for piece in pieces:
        send(piece)
    return close or response.close == "silently"


def drip(sock, data, interval):
    for i in range(len(data)):
        sock.sendall(data[i:i + 1])
        time.sleep(interval)


def hold_until_closed(sock):
    """Sends nothing more and waits until the client gives up; the connection then ends."""
    try:
        while sock.recv(65536):
            pass
    except OSError:
        pass
    return True


def streamed_result(before, count, after):
    """The pieces of a body whose middle is `count` bytes of x, made as they are sent."""
    yield before
    chunk = b"x" * STREAM_CHUNK_BYTES
    while count > 0:
        yield chunk[:count]
        count -= len(chunk)
    yield after


# ---------------------------------------------------------------- server


class Simulator:
    def __init__(self, namespace, ssl_context):
        self.namespace = namespace
        self.ssl_context = ssl_context
        self.lock = threading.Lock()
        self.gateway = Gateway()
        self.script = ScriptQueue()
        self.requests = []
        self.connects = []
        self.counters = dict.fromkeys(COUNTERS, 0)
        self.counted = set()  # open connections already counted
        self.idle = {}  # kept-alive connections waiting for their next request, by number
        self.resets = 0  # how many resets there have been
        self.next_connection = 1
        self.stopping = threading.Event()

    def connection_id(self):
        with self.lock:
            number = self.next_connection
            self.next_connection += 1
            return number

    # ---- connections

    def count_connection(self, connection):
        """Counts a connection once, when it first carries a service request or a CONNECT."""
        with self.lock:
            if connection not in self.counted:
                self.counted.add(connection)
                self.counters["connections"] += 1

    def close_idle(self):
        """Ends the kept-alive connections that wait for a request (the caller holds the lock)."""
        for sock in self.idle.values():
            try:
                # The plain socket's shutdown: the serving thread still owns any TLS state.
                socket.socket.shutdown(sock, socket.SHUT_RDWR)
            except OSError:
                pass
        self.idle.clear()

    def handshake(self, sock):
        """The server side of a TLS handshake on sock, counted; a resumed session too."""
        tls = self.ssl_context.wrap_socket(sock, server_side=True)
        with self.lock:
            self.counters["handshakes"] += 1
            self.counters["resumed"] += tls.session_reused
        return tls

    def serve_connection(self, sock):
        connection = self.connection_id()
        sock.settimeout(IDLE_TIMEOUT_SECONDS)
        # Answers go out at once, not after the client's delayed acknowledgement.
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            first = sock.recv(1, socket.MSG_PEEK)
            if not first:
                return
            tls = first[0] == 0x16
            if tls:
                sock = self.handshake(sock)
            self.serve_requests(sock, connection, tls, None)
        except (ssl.SSLError, ConnectionError, EOFError, socket.timeout, ProtocolError) as e:
            trace(f"connection {connection}: {type(e).__name__} {e}")
        finally:
            with self.lock:
                self.counted.discard(connection)
            try:
                sock.close()
            except OSError:
                pass

    def serve_requests(self, sock, connection, tls, tunnel):
        reader = Reader(sock)
        answered = False
        resets = 0
        while True:
            try:
                if answered:
                    with self.lock:
                        # A reset while this connection answered finds it not yet idle: it
                        # ends now, as it would have had it been waiting.
                        if self.resets != resets:
                            return
                        self.idle[connection] = sock
                try:
                    request = read_request(reader)
                finally:
                    with self.lock:
                        self.idle.pop(connection, None)
            except EOFError:
                return
            if request.method == "CONNECT" and tunnel is None and not tls:
                self.open_tunnel(sock, reader, request, connection)
                return
            read_body(reader, sock, request)
            with self.lock:
                resets = self.resets
            try:
                response = self.dispatch(request, connection, tls, tunnel)
            except Exception as e:
                # A fault of the simulator or of a scripted entry: say so plainly.
                log(f"error answering {request.method} {request.target}:\n{traceback.format_exc()}")
                response = Response(500, f"simulator error: {e!r}".encode(), "text/plain")
            trace(f"connection {connection}: {request.method} {request.target} -> "
                  f"{response.status}")
            if request.path.startswith(CONTROL_PREFIX):
                # A reset does not end the connection that asked for it.
                with self.lock:
                    resets = self.resets
            closed = write_response(sock, response, request.wants_close())
            if response.after_send:
                response.after_send()
            if closed:
                return
            answered = True

    def open_tunnel(self, sock, reader, request, connection):
        target = request.target
        self.count_connection(connection)
        with self.lock:
            self.connects.append(target)
        sock.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        if reader.buffer:
            raise ProtocolError("data sent before the tunnel was established")
        trace(f"connection {connection}: CONNECT {target}")
        tunnel = self.handshake(sock)
        try:
            self.serve_requests(tunnel, connection, True, target)
        finally:
            tunnel.close()

    def dispatch(self, request, connection, tls, tunnel):
        if request.path.startswith(CONTROL_PREFIX):
            try:
                return self.control(request)
            except (ValueError, TypeError, KeyError) as e:
                return json_response(400, {"error": str(e)})
        self.count_connection(connection)
        self.record(request, connection, tls, tunnel)
        operation = self.operation_of(request)
        with self.lock:
            scripted = self.script.take(request.path, operation)
        if scripted is None:
            return self.service(request)
        return self.scripted(request, scripted)

    def record(self, request, connection, tls, tunnel):
        entry = {
            "method": request.method, "target": request.target, "path": request.path,
            "query": request.query, "version": request.version, "host": request.host,
            "headers": request.headers,
            "body_base64": base64.b64encode(request.body).decode("ascii"),
            "content_length": request.content_length, "chunked": request.chunked,
            "tls": tls, "via_proxy": tunnel is not None or request.absolute,
            "connect_target": tunnel, "connection": connection,
            "time": datetime.datetime.now().isoformat(timespec="milliseconds"),
        }
        with self.lock:
            entry["id"] = len(self.requests) + 1
            self.requests.append(entry)

    # ---- SOAP

    def parse_call(self, request):
        """Checks the envelope and returns (operation, request document text)."""
        operations = SERVICES.get(request.path)
        if operations is None:
            raise SoapFault(f"No service at {request.path}")
        if request.method != "POST":
            raise SoapFault(f"Method {request.method} not allowed; services take POST")
        try:
            root = ElementTree.fromstring(request.body)
        except ElementTree.ParseError as e:
            raise SoapFault(f"Request is not well-formed XML: {e}")
        if root.tag != f"{{{SOAP11_NS}}}Envelope":
            raise SoapFault(f"Expected a SOAP 1.1 Envelope, found {root.tag}")
        bodies = root.findall(f"{{{SOAP11_NS}}}Body")
        if len(bodies) != 1 or len(bodies[0]) == 0:
            raise SoapFault("Envelope needs exactly one Body holding the operation element")
        wrapper = bodies[0][0]
        operation = local_name(wrapper.tag)
        if namespace_of(wrapper.tag) != self.namespace:
            raise SoapFault(f"Operation element {operation} is not in namespace {self.namespace}")
        if operation not in operations:
            raise SoapFault(f"Unknown operation {operation} at {request.path}")
        expected_action = f'"{self.namespace}{operation}"'
        if request.header("SOAPAction") != expected_action:
            raise SoapFault(f"SOAPAction {request.header('SOAPAction')!r} does not match "
                            f"{expected_action}")
        parameter = wrapper.find(f"{{{self.namespace}}}xml")
        if parameter is None:
            raise SoapFault(f"Operation element {operation} has no xml parameter")
        return operation, parameter.text or ""

    def service(self, request):
        try:
            operation, text = self.parse_call(request)
            result = self.operation_answer(request.path, operation, text)
        except SoapFault as fault:
            return Response(500, envelope(fault_body("soap:Client", str(fault))).encode())
        return Response(200, envelope(response_body(operation, self.namespace, result)).encode())

    def operation_answer(self, path, operation, text):
        try:
            document_root = ElementTree.fromstring(text)
        except ElementTree.ParseError as e:
            raise SoapFault(f"Request document is not well-formed XML: {e}")
        expected = SERVICES[path][operation]
        if document_root.tag != expected:
            raise SoapFault(f"Expected a {expected} request document, found {document_root.tag}")
        with self.lock:
            return self.gateway.answer(path, operation, document_root)

    def scripted(self, request, entry):
        if entry.get("delay"):
            time.sleep(float(entry["delay"]))
        content_type = entry["content_type"] if "content_type" in entry else SOAP_CONTENT_TYPE
        status = entry.get("status")
        if "body_base64" in entry:
            body = base64.b64decode(entry["body_base64"])
        elif "body" in entry:
            body = entry["body"].encode("utf-8")
        else:
            status, body = self.scripted_envelope(request, entry, status)
        reason = entry.get("reason")
        if entry.get("reason_bytes"):
            reason = (reason or "").ljust(int(entry["reason_bytes"]), "x")
        response = Response(int(status or 200), body, content_type, reason)
        response.close_after_bytes = entry.get("close_after_bytes")
        response.extra_headers = [(str(n), str(v)) for n, v in entry.get("headers", {}).items()]
        flood = entry.get("header_flood")
        if flood:
            value = "x" * int(flood.get("bytes", 64))
            response.extra_headers += [(f"X-Flood-{i}", value) for i in range(int(flood["count"]))]
        if entry.get("stream_bytes") is not None:
            response.stream = self.streamed(request, int(entry["stream_bytes"]),
                                            entry.get("content_length", True))
        response.drip_interval = entry.get("drip_interval")
        silence = entry.get("silence")
        response.silence = "all" if silence is True else silence
        response.close = entry.get("close")
        return response

    def streamed(self, request, count, content_length):
        """A result envelope with `count` x in its result, never held whole."""
        text = envelope(response_body(self.operation_of(request), self.namespace, STREAM_MARK))
        before, after = text.encode().split(STREAM_MARK.encode())
        length = len(before) + count + len(after)
        if content_length is True:
            declared = length
        elif content_length is False:
            declared = None
        else:
            declared = int(content_length)
        return streamed_result(before, count, after), declared, length

    def scripted_envelope(self, request, entry, status):
        """A SOAP envelope for a scripted fault or result, with its default status."""
        soap_ns = SOAP12_NS if entry.get("envelope") == "soap12" else SOAP11_NS
        if "fault" in entry:
            fault = entry["fault"]
            body_xml = fault_body(fault.get("code", "soap:Server"), fault.get("string", ""),
                                  fault.get("actor"), fault.get("detail_xml"))
            status = status or 500
        else:
            operation = self.operation_of(request)
            if "result" in entry:
                result = entry["result"]
            else:
                response = self.service(request)
                if response.status != 200:
                    return status or response.status, response.body
                result = self.unwrap_result(response.body)
            if entry.get("size_bytes"):
                result = result.ljust(int(entry["size_bytes"]), "x")
            body_xml = response_body(operation, self.namespace, result)
        if entry.get("envelope") == "two_bodies":
            body_xml += body_xml
        header_xml = ""
        if entry.get("envelope") == "must_understand":
            header_xml = f'<Session xmlns="{self.namespace}" mustUnderstand="1">1</Session>'
        return status, envelope(body_xml, soap_ns, header_xml).encode()

    def operation_of(self, request):
        """The called operation, from the envelope or else the SOAPAction."""
        try:
            body = ElementTree.fromstring(request.body).find(f"{{{SOAP11_NS}}}Body")
            if body is not None and len(body):
                return local_name(body[0].tag)
        except ElementTree.ParseError:
            pass
        action = (request.header("SOAPAction") or "").strip('"')
        if action.startswith(self.namespace) and len(action) > len(self.namespace):
            return action[len(self.namespace):]
        return next(iter(SERVICES.get(request.path, {"result": None})))

    @staticmethod
    def unwrap_result(envelope_bytes):
        root = ElementTree.fromstring(envelope_bytes)
        return root.find(f"{{{SOAP11_NS}}}Body")[0][0].text or ""

    # ---- control API

    def control(self, request):
        route = (request.method, request.path[len(CONTROL_PREFIX):].rstrip("/"))

        def payload():
            return json.loads(request.body.decode("utf-8") or "null")

        with self.lock:
            if route == ("GET", "requests"):
                return json_response(200, {"requests": self.requests})
            if route == ("DELETE", "requests"):
                self.requests = []
            elif route == ("GET", "connects"):
                return json_response(200, {"connects": self.connects})
            elif route == ("GET", "connections"):
                return json_response(200, self.counters)
            elif route == ("GET", "script"):
                return json_response(200, {"script": self.script.entries})
            elif route == ("POST", "script"):
                return json_response(200, {"queued": self.script.add(payload())})
            elif route == ("DELETE", "script"):
                self.script = ScriptQueue()
            elif route == ("GET", "accounts"):
                return json_response(200, {"accounts": self.gateway.account_list()})
            elif route == ("POST", "accounts"):
                self.gateway.set_accounts(payload())
            elif route == ("GET", "messages"):
                return json_response(200, {"messages": self.gateway.message_list()})
            elif route == ("POST", "reset"):
                self.requests, self.connects, self.script = [], [], ScriptQueue()
                self.counters = dict.fromkeys(COUNTERS, 0)
                self.resets += 1
                self.close_idle()
                self.gateway.reset()
            elif route == ("POST", "shutdown"):
                response = json_response(200, {"ok": True})
                response.after_send = self.stopping.set
                return response
            else:
                return json_response(404, {"error": f"no control call {' '.join(route)}"})
        return json_response(200, {"ok": True})


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, port, simulator):
        self.simulator = simulator
        super().__init__(("127.0.0.1", port), Handler)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.server.simulator.serve_connection(self.request)


# ---------------------------------------------------------------- start-up


def make_certificate(directory):
    """A self-signed certificate for the gateway hosts, made once per directory."""
    cert, key = os.path.join(directory, "simulator-cert.pem"), os.path.join(directory, "simulator-key.pem")
    if os.path.exists(cert) and os.path.exists(key):
        return cert, key
    names = ",".join([f"DNS:{h}" for h in CERT_HOSTS] + ["IP:127.0.0.1"])
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", cert, "-days", "3650", "-subj", f"/CN={CERT_HOSTS[0]}",
         "-addext", f"subjectAltName={names}"],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return cert, key


def write_ready_file(path, content):
    temporary = f"{path}.{os.getpid()}.tmp"
    with open(temporary, "w") as f:
        json.dump(content, f)
    os.replace(temporary, path)


def main():
    global verbose
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free port)")
    parser.add_argument("--ready-file", help='written as {"port": N, "pid": P, "cert": PATH} when ready')
    parser.add_argument("--namespace", default=DEFAULT_NAMESPACE, help="service namespace URI")
    parser.add_argument("--state-dir", help="where the certificate is kept (default: a temporary folder)")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    args = parser.parse_args()
    verbose = args.verbose

    state_dir = args.state_dir or tempfile.mkdtemp(prefix="tellavo-sim-")
    try:
        os.makedirs(state_dir, exist_ok=True)
        cert, key = make_certificate(state_dir)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        simulator = Simulator(args.namespace, context)
        server = Server(args.port, simulator)
        for number in (signal.SIGTERM, signal.SIGINT):
            signal.signal(number, lambda *_: simulator.stopping.set())
        threading.Thread(target=server.serve_forever, daemon=True).start()
        port = server.server_address[1]
        if args.ready_file:
            write_ready_file(args.ready_file, {"port": port, "pid": os.getpid(), "cert": cert})
        trace(f"listening on 127.0.0.1:{port}")
        while not simulator.stopping.wait(0.2):
            pass
        server.shutdown()
        server.server_close()
    finally:
        if not args.state_dir:
            shutil.rmtree(state_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
